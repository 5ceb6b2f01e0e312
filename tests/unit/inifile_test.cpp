// The settings file rewritten as a whole: the keys a save writes land where the profile
// API would read them, and nothing else of the file changes.
#include <gtest/gtest.h>

#include <map>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "core/inifile.h"

namespace {

// An edit of an ANSI file, in its bytes.
typedef IniEditOf<char> IniEdit;

// Bytes widened to UTF-16 units of the same value, as the settings file's save does.
std::u16string Widen(const char* bytes)
{
    std::u16string wide;
    for (; *bytes != '\0'; ++bytes)
        wide += static_cast<char16_t>(static_cast<unsigned char>(*bytes));
    return wide;
}

// The ANSI file `in` rewritten with the edits, its bytes widened and narrowed back.
std::string Rewrite(const std::string& in, const std::vector<IniEdit>& edits, int room = 4096)
{
    std::u16string wideIn;
    for (char c : in)
        wideIn += static_cast<char16_t>(static_cast<unsigned char>(c));
    std::vector<std::u16string> texts;
    texts.reserve(edits.size() * 3);
    std::vector<WideIniEdit> wide;
    for (const IniEdit& e : edits) {
        texts.push_back(Widen(e.section));
        texts.push_back(Widen(e.key));
        texts.push_back(Widen(e.value != nullptr ? e.value : ""));
        const size_t at = texts.size() - 3;
        wide.push_back({texts[at].c_str(), texts[at + 1].c_str(),
                        e.value != nullptr ? texts[at + 2].c_str() : nullptr});
    }
    std::vector<char16_t> out(in.size() + room);
    const int n = RewriteIni(wideIn.data(), static_cast<int>(wideIn.size()), wide.data(),
                             static_cast<int>(wide.size()), out.data(),
                             static_cast<int>(out.size()));
    std::string bytes;
    for (int i = 0; i < n; ++i)
        bytes += static_cast<char>(out[i]);
    return n < 0 ? "<overflow>" : bytes;
}

struct Case {
    const char* name;
    std::string in;
    std::vector<IniEdit> edits;
    std::string out;
};

TEST(RewriteIni, EditsLandWhereTheProfileApiReadsThem)
{
    const Case cases[] = {
        {"empty file gains the section", "", {{"Path_Log", "Log_00", "C:\\a"}},
         "[Path_Log]\r\nLog_00=C:\\a\r\n"},
        {"value replaced in place, other keys and sections kept",
         "[Setting]\r\nMaxLogData=20\r\nOwn=1\r\n\r\n[Path_Log]\r\nLog_00=C:\\old\r\n",
         {{"Path_Log", "Log_00", "C:\\new"}},
         "[Setting]\r\nMaxLogData=20\r\nOwn=1\r\n\r\n[Path_Log]\r\nLog_00=C:\\new\r\n"},
        {"missing key follows the last key, before the blank line",
         "[Path_Log]\r\nLog_00=C:\\a\r\n\r\n[Other]\r\nx=1\r\n",
         {{"Path_Log", "Log_00", "C:\\a"}, {"Path_Log", "Log_01", "C:\\b"}},
         "[Path_Log]\r\nLog_00=C:\\a\r\nLog_01=C:\\b\r\n\r\n[Other]\r\nx=1\r\n"},
        {"deleted key goes, a key of another section with its name stays",
         "[Path_Log]\r\nLog_05=C:\\x\r\n[Other]\r\nLog_05=keep\r\n",
         {{"Path_Log", "Log_05", nullptr}}, "[Path_Log]\r\n[Other]\r\nLog_05=keep\r\n"},
        {"names compare without case and surrounding blanks",
         "[ path_log ]\nLOG_00 = C:\\old\n", {{"Path_Log", "Log_00", "C:\\n"}},
         "[ path_log ]\nLog_00=C:\\n\r\n"},
        {"duplicate key lines: the first takes the value, the rest go",
         "[Path_Log]\r\nLog_00=a\r\nLog_00=b\r\n", {{"Path_Log", "Log_00", "C:\\z"}},
         "[Path_Log]\r\nLog_00=C:\\z\r\n"},
        {"a second section of the name loses the key; the first one gets it",
         "[Path_Log]\r\nOwn=1\r\n[Path_Log]\r\nLog_00=hidden\r\n",
         {{"Path_Log", "Log_00", "C:\\a"}}, "[Path_Log]\r\nOwn=1\r\nLog_00=C:\\a\r\n[Path_Log]\r\n"},
        {"lone CR and LF end lines too; a last line without its end is closed",
         "[Setting]\rMaxLogData=5\n[Path_Log]\rLog_00=x", {{"Path_Log", "Log_01", "y"}},
         "[Setting]\rMaxLogData=5\n[Path_Log]\rLog_00=x\r\nLog_01=y\r\n"},
        {"lines before any section and comments are kept",
         "; note\r\nstray=1\r\n[Setting]\r\n;Log_00=c\r\n", {{"Setting", "SaveTime", nullptr}},
         "; note\r\nstray=1\r\n[Setting]\r\n;Log_00=c\r\n"},
        {"a value cannot add lines", "", {{"Path_Log", "Log_00", "C:\\a\r\n[Setting]\nx=1"}},
         "[Path_Log]\r\nLog_00=C:\\a\r\n"},
        {"new sections come in edit order, each with its keys",
         "[Setting]\r\nDebugBeep=1\r\n",
         {{"Path_Touroku", "Touroku_00", "C:\\t"}, {"Setting", "MaxLogData", "7"},
          {"Path_Log", "Log_00", "C:\\h"}, {"path_touroku", "Touroku_01", "C:\\u"}},
         "[Setting]\r\nDebugBeep=1\r\nMaxLogData=7\r\n\r\n[Path_Touroku]\r\nTouroku_00=C:\\t\r\n"
         "Touroku_01=C:\\u\r\n\r\n[Path_Log]\r\nLog_00=C:\\h\r\n"},
        {"Shift-JIS trail bytes 0x5C and 0x5D stay as they are",
         "[Path_Log]\r\nLog_00=C:\\\x95\x5C\\\x83\x5D\r\n", {{"Path_Log", "Log_01", "C:\\b"}},
         "[Path_Log]\r\nLog_00=C:\\\x95\x5C\\\x83\x5D\r\nLog_01=C:\\b\r\n"},
        {"NUL bytes in the file are kept", std::string("[X]\r\na=\0b\r\n", 11),
         {{"Path_Log", "Log_00", "v"}},
         std::string("[X]\r\na=\0b\r\n\r\n[Path_Log]\r\nLog_00=v\r\n", 35)},
    };
    for (const Case& c : cases)
        EXPECT_EQ(Rewrite(c.in, c.edits), c.out) << c.name;
}

TEST(RewriteIni, RefusesWhatDoesNotFit)
{
    const std::vector<IniEdit> edit = {{"Path_Log", "Log_00", "C:\\a"}};
    EXPECT_EQ(Rewrite("[Path_Log]\r\n", edit, 0), "<overflow>");
    const std::vector<WideIniEdit> many(kMaxIniEdits + 1, {u"Path_Log", u"Log_00", u"C:\\a"});
    char16_t out[8];
    EXPECT_EQ(RewriteIni(u"", 0, many.data(), kMaxIniEdits + 1, out, 8), -1);
}

// --- Generated files: the profile API's view of the result is the one the edits ask for,
// and every other line survives in order. ---------------------------------------------

std::vector<std::string> Lines(const std::string& text)
{
    std::vector<std::string> lines;
    size_t at = 0;
    while (at < text.size()) {
        size_t end = text.find_first_of("\r\n", at);
        if (end == std::string::npos)
            end = text.size();
        lines.push_back(text.substr(at, end - at));
        at = end;
        if (at < text.size() && text[at] == '\r')
            ++at;
        if (at < text.size() && text[at] == '\n' && (at == end || text[at - 1] == '\r'))
            ++at;
    }
    return lines;
}

// What the profile API reads: for each section name its first section, for each key its
// first line there. An independent reading of the same rules, as the oracle. Names are
// kept in lower case.
std::map<std::pair<std::string, std::string>, std::string> ReadIni(const std::string& text)
{
    auto lower = [](std::string s) {
        for (char& c : s)
            c = (c >= 'A' && c <= 'Z') ? c + 32 : c;
        return s;
    };
    auto trim = [](const std::string& s) {
        size_t a = s.find_first_not_of(" \t"), b = s.find_last_not_of(" \t");
        return a == std::string::npos ? std::string() : s.substr(a, b - a + 1);
    };
    std::map<std::pair<std::string, std::string>, std::string> values;
    std::set<std::string> seen;
    bool reading = false;
    std::string section;
    for (const std::string& line : Lines(text)) {
        const std::string t = trim(line);
        if (!t.empty() && t[0] == '[') {
            const size_t close = t.rfind(']');
            section = lower(trim(t.substr(1, close == std::string::npos ? std::string::npos
                                                                         : close - 1)));
            reading = seen.insert(section).second;
        } else if (reading && !t.empty()) {
            const size_t eq = t.find('=');
            values.emplace(std::make_pair(section, lower(trim(t.substr(0, eq)))),
                           eq == std::string::npos ? "" : t.substr(eq + 1));
        }
    }
    return values;
}

TEST(RewriteIni, GeneratedFilesReadBackAsEditedAndKeepTheirOtherLines)
{
    std::mt19937 random(20261208);
    const char* const sections[] = {"Setting", "Path_Log", "path_log", "Other", "", "Path_Touroku"};
    const char* const keys[] = {"Log_00", "Log_01", "log_02", "Log_49", "MaxLogData", "Own",
                                "Touroku_00", "SaveTime", "Log_0", ";Log_00", "=x"};
    const char* const ends[] = {"\r\n", "\n", "\r", ""};
    const char junk[] = {'[', ']', '=', ' ', '\t', '\0', '\x81', '\x5C', 'a', '\xFC', ';'};
    static char keyNames[50][8];
    for (int i = 0; i < 50; ++i)
        snprintf(keyNames[i], sizeof keyNames[i], "Log_%02d", i);

    for (int round = 0; round < 10000; ++round) {
        std::string in;
        const int lines = random() % 12;
        for (int l = 0; l < lines; ++l) {
            switch (random() % 4) {
            case 0: in += std::string(random() % 2 ? " [" : "[") + sections[random() % 6] + "]"; break;
            case 1: in += std::string(keys[random() % 11]) + (random() % 3 ? "=v" : " = w") +
                          std::to_string(random() % 100); break;
            case 2: for (int j = random() % 6; j > 0; --j) in += junk[random() % sizeof junk]; break;
            default: break;
            }
            in += ends[random() % (l + 1 == lines ? 4 : 3)];
        }
        std::vector<IniEdit> edits;
        std::vector<std::string> values(50);
        for (int i = 0; i < 50; ++i) {
            if (random() % 3 == 0)
                continue;
            const bool erase = random() % 4 == 0;
            values[i] = "C:\\p" + std::to_string(random() % 1000);
            edits.push_back({"Path_Log", keyNames[i], erase ? nullptr : values[i].c_str()});
        }
        const std::string out = Rewrite(in, edits, 50 * 300);
        ASSERT_NE(out, "<overflow>") << "round " << round;

        const auto before = ReadIni(in), after = ReadIni(out);
        std::set<std::pair<std::string, std::string>> edited;
        for (const IniEdit& e : edits) {
            std::string key = e.key;
            for (char& c : key)
                c = (c >= 'A' && c <= 'Z') ? c + 32 : c;
            edited.insert({"path_log", key});
            const auto found = after.find({"path_log", key});
            if (e.value == nullptr) {
                EXPECT_TRUE(found == after.end()) << "round " << round << " " << e.key;
            } else {
                EXPECT_TRUE(found != after.end() && found->second == e.value)
                    << "round " << round << " " << e.key;
            }
        }
        // Keys no edit names read the same as before, in every section.
        for (const auto& [name, value] : before) {
            if (edited.count(name) != 0)
                continue;
            const auto found = after.find(name);
            EXPECT_TRUE(found != after.end() && found->second == value)
                << "round " << round << " [" << name.first << "] " << name.second;
        }
        for (const auto& [name, value] : after) {
            if (edited.count(name) == 0) {
                EXPECT_EQ(before.count(name), 1u) << "round " << round << " " << name.second;
            }
        }
        // Every input line that is no line of an edited key is still there, in order.
        const std::vector<std::string> outLines = Lines(out);
        size_t found = 0;
        for (const std::string& line : Lines(in)) {
            if (line.find("og_") != std::string::npos)
                continue;  // may be a line of an edited key
            while (found < outLines.size() && outLines[found] != line)
                ++found;
            ASSERT_LT(found, outLines.size()) << "round " << round << " lost: " << line;
            ++found;
        }
        if (HasFailure())
            break;
    }
}

}  // namespace
