// The version resources of the three deliverables, read back through the platform's
// version API the way Explorer's file properties read them: the fixed block, the
// translation table, and the strings of the block that the translation names.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <ostream>
#include <regex>
#include <string>
#include <vector>

#include "testsupport.h"

using namespace tk;

namespace {

struct Deliverable {
    const char* file;
    const char* description;
    DWORD fileType;
};

// Failures name the file rather than the bytes of the record.
void PrintTo(const Deliverable& deliverable, std::ostream* out)
{
    *out << deliverable.file;
}

const Deliverable kDeliverables[] = {
    {"Trailkeep.exe", "Trailkeeper resident program", VFT_APP},
    {"Trailhook.dll", "Trailkeeper hook library", VFT_DLL},
    {"Trailmenu.exe", "Trailkeeper menu launcher", VFT_APP},
};

// What the project's own files say, read here rather than taken from the header the
// resource is built from: `project(Trailkeeper VERSION x.y[.z])` in CMakeLists.txt and the
// first "Copyright " line of LICENSE.
struct ProjectFacts {
    std::string version;  // as written, "1.10"
    int major = -1, minor = -1, patch = 0;
    std::string copyright;
};

ProjectFacts ReadProjectFacts()
{
    ProjectFacts facts;
    const std::string source = TK_SOURCE_DIR_WINDOWS;
    const std::string cmake = ReadFileBytes(source + "/CMakeLists.txt");
    std::smatch m;
    if (std::regex_search(cmake, m,
                          std::regex(R"(project\(Trailkeeper VERSION (([0-9]+)\.([0-9]+)(\.([0-9]+))?))"))) {
        facts.version = m[1];
        facts.major = std::stoi(m[2]);
        facts.minor = std::stoi(m[3]);
        facts.patch = m[5].matched ? std::stoi(m[5]) : 0;
    }
    const std::string license = ReadFileBytes(source + "/LICENSE");
    if (std::regex_search(license, m, std::regex(R"((^|\n)(Copyright [^\r\n]*))")))
        facts.copyright = m[2];
    return facts;
}

class VersionInfo : public ::testing::TestWithParam<Deliverable> {
protected:
    void SetUp() override
    {
        path_ = BinDir() + "\\" + GetParam().file;
        DWORD ignored = 0;
        const DWORD size = GetFileVersionInfoSizeA(path_.c_str(), &ignored);
        ASSERT_GT(size, 0u) << path_ << " has no version resource (error " << GetLastError() << ")";
        data_.assign(size, 0);
        ASSERT_TRUE(GetFileVersionInfoA(path_.c_str(), 0, size, data_.data()));
    }

    // A value of the version resource; null when it is absent.
    const void* Query(const std::string& name, UINT* length) const
    {
        void* value = nullptr;
        *length = 0;
        if (!VerQueryValueA(data_.data(), name.c_str(), &value, length))
            return nullptr;
        return value;
    }

    // A string of the block named by the first translation, as Explorer looks it up.
    std::string String(const char* key) const
    {
        UINT length = 0;
        const WORD* translation =
            static_cast<const WORD*>(Query("\\VarFileInfo\\Translation", &length));
        if (translation == nullptr || length < 2 * sizeof(WORD))
            return "<no translation>";
        char name[128];
        snprintf(name, sizeof name, "\\StringFileInfo\\%04x%04x\\%s", translation[0],
                 translation[1], key);
        const char* value = static_cast<const char*>(Query(name, &length));
        return value == nullptr ? std::string("<absent>") : std::string(value);
    }

    std::string path_;
    std::vector<char> data_;
};

TEST_P(VersionInfo, FixedBlockHoldsTheProjectVersion)
{
    UINT length = 0;
    const auto* fixed = static_cast<const VS_FIXEDFILEINFO*>(Query("\\", &length));
    ASSERT_NE(fixed, nullptr);
    ASSERT_GE(length, sizeof(VS_FIXEDFILEINFO));
    EXPECT_EQ(fixed->dwSignature, 0xFEEF04BDu);
    const ProjectFacts project = ReadProjectFacts();
    ASSERT_GE(project.major, 0) << "no version in CMakeLists.txt";
    EXPECT_EQ(fixed->dwFileVersionMS, DWORD(MAKELONG(project.minor, project.major)));
    EXPECT_EQ(fixed->dwFileVersionLS, DWORD(MAKELONG(0, project.patch)));
    EXPECT_EQ(fixed->dwProductVersionMS, fixed->dwFileVersionMS);
    EXPECT_EQ(fixed->dwProductVersionLS, fixed->dwFileVersionLS);
    EXPECT_EQ(fixed->dwFileType, GetParam().fileType);
    EXPECT_EQ(fixed->dwFileFlags & fixed->dwFileFlagsMask, 0u) << "a debug or pre-release build";
}

// Japanese in code page 932, like the rest of Trailkeeper's resources and texts.
TEST_P(VersionInfo, TranslationIsJapaneseInCodePage932)
{
    UINT length = 0;
    const WORD* translation =
        static_cast<const WORD*>(Query("\\VarFileInfo\\Translation", &length));
    ASSERT_NE(translation, nullptr);
    ASSERT_EQ(length, 2 * sizeof(WORD)) << "one translation";
    EXPECT_EQ(translation[0], 0x0411);
    EXPECT_EQ(translation[1], 932);
}

TEST_P(VersionInfo, StringsNameTheProductTheFileAndTheLicense)
{
    const ProjectFacts project = ReadProjectFacts();
    ASSERT_FALSE(project.version.empty()) << "no version in CMakeLists.txt";
    ASSERT_FALSE(project.copyright.empty()) << "no copyright line in LICENSE";
    EXPECT_EQ(String("ProductName"), "Trailkeeper");
    EXPECT_EQ(String("ProductVersion"), project.version);
    EXPECT_EQ(String("FileVersion"), project.version);
    EXPECT_EQ(String("OriginalFilename"), GetParam().file);
    EXPECT_EQ(String("FileDescription"), GetParam().description);
    EXPECT_EQ(String("LegalCopyright"), project.copyright);
    EXPECT_NE(String("CompanyName"), "<absent>");
}

BOOL CALLBACK CollectLanguage(HMODULE, LPCSTR, LPCSTR, WORD language, LONG_PTR found)
{
    reinterpret_cast<std::vector<WORD>*>(found)->push_back(language);
    return TRUE;
}

// The resource itself is tagged Japanese, so that a lookup by the user's language on a
// Japanese system finds it first, and there is exactly one.
TEST_P(VersionInfo, OneVersionResourceInJapanese)
{
    HMODULE module = LoadLibraryExA(path_.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    ASSERT_NE(module, nullptr);
    std::vector<WORD> languages;
    EnumResourceLanguagesA(module, MAKEINTRESOURCEA(16) /* RT_VERSION */, MAKEINTRESOURCEA(1),
                           CollectLanguage, reinterpret_cast<LONG_PTR>(&languages));
    FreeLibrary(module);
    EXPECT_EQ(languages, std::vector<WORD>{MAKELANGID(LANG_JAPANESE, SUBLANG_DEFAULT)});
}

INSTANTIATE_TEST_SUITE_P(Deliverables, VersionInfo, ::testing::ValuesIn(kDeliverables),
                         [](const ::testing::TestParamInfo<Deliverable>& info) {
                             std::string name = info.param.file;
                             return name.substr(0, name.find('.'));
                         });

// The FileVersion string of a deliverable's version resource.
std::string FileVersionOf(const char* file)
{
    const std::string path = BinDir() + "\\" + file;
    DWORD ignored = 0;
    std::vector<char> data(GetFileVersionInfoSizeA(path.c_str(), &ignored));
    void* value = nullptr;
    UINT length = 0;
    if (data.empty() || !GetFileVersionInfoA(path.c_str(), 0, data.size(), data.data()) ||
        !VerQueryValueA(data.data(), "\\StringFileInfo\\041103a4\\FileVersion", &value, &length))
        return "<none>";
    return static_cast<const char*>(value);
}

INT_PTR CALLBACK AboutProc(HWND, UINT msg, WPARAM, LPARAM)
{
    return msg == WM_INITDIALOG;
}

// The about box of the built Trailkeep.exe names the versions that the three files carry.
TEST(AboutBox, NamesTheVersionOfTheFiles)
{
    HMODULE exe = LoadLibraryExA((BinDir() + "\\Trailkeep.exe").c_str(), nullptr,
                                 LOAD_LIBRARY_AS_DATAFILE);
    ASSERT_NE(exe, nullptr);
    HRSRC found = FindResourceA(exe, "IDD_ABOUT", MAKEINTRESOURCEA(5) /* RT_DIALOG */);
    ASSERT_NE(found, nullptr);
    const auto* dialog = static_cast<const DLGTEMPLATE*>(LockResource(LoadResource(exe, found)));
    HWND about = CreateDialogIndirectParamA(exe, dialog, nullptr, AboutProc, 0);
    ASSERT_NE(about, nullptr);
    const auto text = [&](int id) {
        char buffer[128] = {};
        GetDlgItemTextA(about, id, buffer, sizeof buffer);
        return std::string(buffer);
    };
    EXPECT_EQ(text(303), "Version " + FileVersionOf("Trailkeep.exe"));
    EXPECT_EQ(text(304), "Trailkeep.exe Version " + FileVersionOf("Trailkeep.exe"));
    EXPECT_EQ(text(305), "Trailhook.dll Version " + FileVersionOf("Trailhook.dll"));
    EXPECT_EQ(text(306), "Trailmenu.exe Version " + FileVersionOf("Trailmenu.exe"));
    DestroyWindow(about);
    FreeLibrary(exe);
}

}  // namespace
