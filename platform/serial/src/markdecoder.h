// The PARMRK marks by which the line discipline reports line conditions in the data.
#pragma once

#include <cstddef>
#include <cstdint>

namespace serial {

// Undoes the PARMRK escapes, keeping its state across read() boundaries: FF FF is a data FF,
// FF 00 00 a break, FF 00 x a byte x received with a parity or framing error.
class MarkDecoder {
public:
    struct Out {
        std::size_t length = 0;
        bool breakSeen = false;
        bool errorSeen = false;
    };
    // Decodes `n` bytes of `in` into `out`, which has room for n + 1 bytes (a lone FF kept
    // from the previous call may come out in front).
    Out decode(const std::uint8_t* in, std::size_t n, std::uint8_t* p) {
        Out o;
        std::size_t w = 0;
        for (std::size_t i = 0; i < n; ++i) {
            std::uint8_t c = in[i];
            switch (state_) {
                case 0:
                    if (c == 0xFF)
                        state_ = 1;
                    else
                        p[w++] = c;
                    break;
                case 1:
                    if (c == 0x00) {
                        state_ = 2;
                    } else {
                        // FF FF, or (without PARMRK doubling) a lone FF before an ordinary byte.
                        p[w++] = 0xFF;
                        if (c != 0xFF) p[w++] = c;
                        state_ = 0;
                    }
                    break;
                default:
                    if (c == 0x00)
                        o.breakSeen = true;
                    else {
                        o.errorSeen = true;
                        p[w++] = c;
                    }
                    state_ = 0;
                    break;
            }
        }
        o.length = w;
        return o;
    }
    void reset() { state_ = 0; }

private:
    int state_ = 0;
};

}  // namespace serial
