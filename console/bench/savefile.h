// Saving a whole file so that a failure loses nothing: the text goes to a new file beside the
// old one, which replaces it only once it is written and synced. Used for the session log and
// a watch's values.
#pragma once

#include <cstdio>
#include <functional>
#include <string>

namespace sarnel::bench {

// `write` puts the contents into the file it is given (buffered; false when it gives up). False,
// with "cannot save 'PATH': reason" in `error`, when anything fails; the file at `path` is
// then as it was. A new file gets the usual permissions (0666 less the umask).
bool savefile(const std::string& path, const std::function<bool(std::FILE*)>& write, std::string& error);

}  // namespace sarnel::bench
