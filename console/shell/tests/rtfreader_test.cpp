#include "console/shell/rtfreader.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "console/shell/basicutilities.h"
#include "console/shell/helpdocs.h"

namespace sarnel {
namespace {

TEST(RtfReader, Text) {
    struct Row {
        const char* rtf;
        const char* plain;
    } rows[] = {
        {R"({\rtf1 Hello}\par)", "Hello\n"},
        {R"({\rtf1\ansi Line one\par Line two\par})", "Line one\nLine two\n"},
        {R"({\rtf1 \par\par x})", "\n\nx\n"},  // empty paragraphs count
        {R"({\rtf1 a\line b})", "a\nb\n"},
        {R"({\rtf1 a\tab b})", "a\tb\n"},
        {R"({\rtf1 caf\'e9})", "caf\xC3\xA9\n"},
        {R"({\rtf1 \'80})", "\xE2\x82\xAC\n"},                   // the code page's euro sign
        {R"({\rtf1 \u8364?})", "\xE2\x82\xAC\n"},                // fallback character skipped
        {R"({\rtf1\uc2 \u-3913\'3f\'3fx})", "\xEF\x82\xB7x\n"},  // negative code, two fallbacks
        {R"({\rtf1 \{braces\} and \\})", "{braces} and \\\n"},
        {R"({\rtf1{\fonttbl{\f0 Arial;}}{\colortbl;\red0;}{\*\generator x;}visible})", "visible\n"},
        {R"({\rtf1{\info{\title T}}{\*\unknown hidden}shown})", "shown\n"},
        {R"({\rtf1 \bullet\~\endash\emdash\lquote\rquote\ldblquote\rdblquote})",
         "\xE2\x80\xA2\xC2\xA0\xE2\x80\x93\xE2\x80\x94\xE2\x80\x98\xE2\x80\x99\xE2\x80\x9C\xE2\x80\x9D\n"},
        {"{\\rtf1 a\r\nb}", "ab\n"},  // line breaks of the file are not text
        {R"({\rtf1 unbalanced}}}} rest)", "unbalanced rest\n"},
        {R"({\rtf1 {{{{deep}}})", "deep\n"},
        {R"({\rtf1 cut \)", "cut \n"},
        {R"({\rtf1 \'4)", ""},
    };
    for (const Row& r : rows) {
        const RtfDocument doc = readrtf(r.rtf);
        EXPECT_TRUE(doc.ok) << r.rtf;
        EXPECT_EQ(doc.plain, r.plain) << r.rtf;
    }
}

TEST(RtfReader, FormattingFollowsGroups) {
    const RtfDocument doc = readrtf(R"({\rtf1 {\b bold {\i both} bold}plain\fs40 big <&>})");
    EXPECT_NE(doc.html.find("font-weight:bold\">bold </span>"), std::string::npos) << doc.html;
    EXPECT_NE(doc.html.find("font-weight:bold;font-style:italic\">both"), std::string::npos) << doc.html;
    EXPECT_NE(doc.html.find("font-size:12pt\">plain"), std::string::npos) << doc.html;
    EXPECT_NE(doc.html.find("font-size:20pt\">big &lt;&amp;&gt;"), std::string::npos) << doc.html;
    EXPECT_NE(readrtf(R"({\rtf1\qc centred\par})").html.find("align=\"center\""), std::string::npos);
    EXPECT_NE(readrtf(R"({\rtf1 a   b})").html.find("a &nbsp;&nbsp;b"), std::string::npos)
        << "runs of spaces kept";
    const RtfDocument fonts =
        readrtf(R"({\rtf1{\fonttbl{\f0\fswiss Arial;}{\f1\fmodern Courier;}}\f1 code\f0 text})");
    EXPECT_NE(fonts.html.find("font-family:monospace\">code"), std::string::npos) << fonts.html;
    EXPECT_EQ(fonts.html.find("monospace\">text"), std::string::npos) << fonts.html;
    EXPECT_EQ(fonts.plain, "codetext\n");
}

TEST(RtfReader, NotRtf) {
    for (const char* text : {"", "plain text", "{\\rt", " {\\rtf1 x}"}) {
        const RtfDocument doc = readrtf(text);
        EXPECT_FALSE(doc.ok) << text;
        EXPECT_TRUE(doc.plain.empty());
    }
}

TEST(RtfReader, AMissingOrForeignFileGivesALineSayingSo) {
    const RtfDocument missing = readrtffile("/nonexistent/helpfile.rtf");
    EXPECT_FALSE(missing.ok);
    EXPECT_NE(missing.plain.find("/nonexistent/helpfile.rtf could not be opened"), std::string::npos)
        << missing.plain;
    const std::filesystem::path other = std::filesystem::temp_directory_path() / "rtfreader-test.rtf";
    std::ofstream(other) << "<html>";
    EXPECT_NE(readrtffile(other.string()).plain.find("is not a rich-text document"), std::string::npos);
    std::filesystem::remove(other);
}

TEST(HelpDocuments, AreBesideTheProgramAndReadable) {
    // The build copies both documents beside the programs.
    for (int k : {kHelpDocument, kRevisionDocument}) {
        const std::string path = helpdocumentpath(apppath(), k);
        ASSERT_TRUE(fileexists(path)) << path;
        const RtfDocument doc = readrtffile(path);
        EXPECT_TRUE(doc.ok) << path;
        EXPECT_GT(doc.plain.size(), 300u) << path;
        for (const char* word : {"\\par", "\\b", "\\f1", "\\tab", "\\line", "{", "}"})
            EXPECT_EQ(doc.plain.find(word), std::string::npos) << word << " leaked into the text of " << path;
    }
    EXPECT_NE(readrtffile(helpdocumentpath(apppath(), kHelpDocument)).plain.find("Compile/Transmit"),
              std::string::npos);
    EXPECT_EQ(helpdocumentpath(apppath(), 3), "");
}

TEST(HelpDocuments, InstalledLayout) {
    namespace fs = std::filesystem;
    const fs::path prefix = fs::temp_directory_path() / ("helpdocs-" + std::to_string(::getpid()));
    fs::create_directories(prefix / "bin");
    fs::create_directories(prefix / "share" / "sarnel");
    std::ofstream(prefix / "share" / "sarnel" / "helpfile.rtf") << "{\\rtf1 x}";
    EXPECT_EQ(helpdocumentpath((prefix / "bin").string(), kHelpDocument),
              (prefix / "bin" / ".." / "share" / "sarnel" / "helpfile.rtf").string());
    // Missing everywhere: the path beside the program, so that the box names it.
    EXPECT_EQ(helpdocumentpath((prefix / "bin").string(), kRevisionDocument),
              (prefix / "bin" / "revisionhistory.rtf").string());
    fs::remove_all(prefix);
}

}  // namespace
}  // namespace sarnel
