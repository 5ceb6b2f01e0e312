// The application manifest of the two programs, read back from each built file as Windows
// reads it when it starts the program (resource 1 of type RT_MANIFEST): per-monitor DPI
// awareness, and no common controls of version 6, so the classic look stays.
#include <windows.h>

#include <gtest/gtest.h>

#include <regex>
#include <string>

#include "testsupport.h"

using namespace tk;

namespace {

// The manifest text of a built program; empty when it has none.
std::string ManifestOf(const char* file)
{
    std::string text;
    HMODULE module = LoadLibraryExA((BinDir() + "\\" + file).c_str(), nullptr,
                                    LOAD_LIBRARY_AS_DATAFILE);
    HRSRC found = module != nullptr ? FindResourceA(module, MAKEINTRESOURCEA(1), RT_MANIFEST)
                                    : nullptr;
    HGLOBAL loaded = found != nullptr ? LoadResource(module, found) : nullptr;
    const char* bytes = loaded != nullptr ? static_cast<const char*>(LockResource(loaded)) : nullptr;
    if (bytes != nullptr)
        text.assign(bytes, SizeofResource(module, found));
    if (module != nullptr)
        FreeLibrary(module);
    return text;
}

class Manifest : public ::testing::TestWithParam<const char*> {};

TEST_P(Manifest, AsksForPerMonitorDpiAwarenessAndNoCommonControls6)
{
    const std::string text = ManifestOf(GetParam());
    ASSERT_FALSE(text.empty()) << GetParam() << " has no manifest";
    // Windows 8.1 reads dpiAware, Windows 10 1607 on dpiAwareness, taking the first value it
    // knows: per-monitor version 2 (1703 on), else version 1.
    EXPECT_TRUE(std::regex_search(
        text, std::regex(R"(<dpiAware xmlns="http://schemas.microsoft.com/SMI/2005/WindowsSettings">\s*true/pm\s*</dpiAware>)")))
        << text;
    EXPECT_TRUE(std::regex_search(
        text, std::regex(R"(<dpiAwareness xmlns="http://schemas.microsoft.com/SMI/2016/WindowsSettings">\s*PerMonitorV2\s*,\s*PerMonitor\s*</dpiAwareness>)")))
        << text;
    // Both inside <windowsSettings> of the asm.v3 <application>.
    EXPECT_TRUE(std::regex_search(
        text, std::regex(R"(<application xmlns="urn:schemas-microsoft-com:asm.v3">\s*<windowsSettings>[\s\S]*<dpiAware [\s\S]*<dpiAwareness [\s\S]*</windowsSettings>\s*</application>)")))
        << text;
    EXPECT_EQ(text.find("Microsoft.Windows.Common-Controls"), std::string::npos) << text;
    EXPECT_EQ(text.find("<dependency"), std::string::npos) << text;
}

INSTANTIATE_TEST_SUITE_P(Programs, Manifest, ::testing::Values("Trailkeep.exe", "Trailmenu.exe"),
                         [](const ::testing::TestParamInfo<const char*>& info) {
                             return std::string(info.param).substr(0, std::string(info.param).find('.'));
                         });

}  // namespace
