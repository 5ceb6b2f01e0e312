// Recognising a file dialog, and its name field, from the classes and ids of a window tree.
#include <gtest/gtest.h>

#include <vector>

#include "menus/filedialogfacts.h"

namespace {

struct Descendant {
    const char* cls;
    int id;
    int visible;
};

struct Case {
    const char* what;
    const char* topClass;
    std::vector<Descendant> descendants;  // in enumeration order, parents first
    int expected;                         // the name field's id (0 for no file dialog),
                                          // or the kind of dialog
};

FileDialogFacts Collect(const Case& c)
{
    FileDialogFacts facts = {};
    NoteDialogClass(&facts, c.topClass);
    for (const Descendant& d : c.descendants)
        NoteDescendant(&facts, d.cls, d.id, d.visible);
    return facts;
}

TEST(FileNameControlId, TellsFileDialogsFromOtherWindows)
{
    const Descendant view = {"SHELLDLL_DefView", 1121, 1};
    const Case cases[] = {
        {"Wine's Open and Save As", "#32770",
         {{"ComboBox", 1137, 1}, view, {"SysListView32", 1, 1}, {"ComboBoxEx32", 1148, 1},
          {"ComboBox", 1148, 1}, {"Edit", 1148, 1}, {"Button", 1, 1}},
         1148},
        {"Wine's item dialog", "#32770",
         {{"Edit", 1152, 1}, {"ExplorerBrowserControl", 0, 1}, {"SHELLDLL_DefView", 0, 1}},
         1152},
        {"older template: name edit", "#32770", {view, {"Edit", 1152, 1}}, 1152},
        {"combo shown, edit hidden", "#32770", {{"Edit", 1152, 0}, view, {"ComboBox", 1148, 1}},
         1148},
        {"combo hidden, edit shown", "#32770", {{"ComboBox", 1148, 0}, view, {"Edit", 1152, 1}},
         1152},
        {"no shell view: folder picker", "#32770", {{"SysTreeView32", 100, 1}, {"Edit", 1152, 1}},
         0},
        {"shell view, no name field", "#32770", {view, {"Edit", 1001, 1}}, 0},
        {"folder window", "CabinetWClass", {view, {"Edit", 1148, 1}, {"Edit", 1152, 1}}, 0},
    };
    for (const Case& c : cases) {
        const FileDialogFacts facts = Collect(c);
        EXPECT_EQ(c.expected, FileNameControlId(facts)) << c.what;
    }
}

// A dialog that picks folders is never taken for a file dialog, whose switch presses OK.
TEST(ClassifyDialog, TellsFolderPickersFromFileDialogs)
{
    const Descendant item = {"ExplorerBrowserControl", 0, 1};
    const Descendant itemView = {"SHELLDLL_DefView", 0, 1};
    const Descendant types = {"ComboBox", 1136, 1};
    const Case cases[] = {
        {"Wine's Open and Save As (template view)", "#32770",
         {{"SHELLDLL_DefView", 1121, 1}, {"ComboBoxEx32", 1148, 1}, {"Edit", 1148, 1}},
         kFileDialog},
        {"item dialog with file types", "#32770",
         {{"Edit", 1152, 1}, types, item, itemView}, kFileDialog},
        {"item dialog picking folders (Wine: types hidden)", "#32770",
         {{"Edit", 1152, 1}, {"ComboBox", 1136, 0}, item, itemView}, kItemPicker},
        {"item dialog, no type field at all", "#32770",
         {{"ComboBox", 1148, 1}, {"Edit", 1148, 1}, item, itemView}, kItemPicker},
        {"Wine's Browse-for-folder", "#32770",
         {{"Button", 1, 1}, {"Static", 14146, 1}, {"SysTreeView32", 14145, 1}}, kBrowsePicker},
        {"Browse-for-folder, new style", "#32770",
         {{"SHBrowseForFolder ShellNameSpace Control", 100, 1}, {"SysTreeView32", 100, 1},
          {"Edit", 14148, 1}},
         kBrowsePicker},
        {"a tree of another id: no picker", "#32770", {{"SysTreeView32", 100, 1}}, kNoDialog},
        {"shell view without name field", "#32770", {itemView, types}, kNoDialog},
        {"message box", "#32770", {{"Static", 65535, 1}, {"Button", 1, 1}}, kNoDialog},
        {"folder window", "CabinetWClass", {{"SysTreeView32", 14145, 1}, itemView}, kNoDialog},
    };
    for (const Case& c : cases)
        EXPECT_EQ(c.expected, ClassifyDialog(Collect(c))) << c.what;
}

// The way a chosen folder takes: never a message an elevated dialog would drop.
TEST(SwitchRoute, ElevatedDialogsAndPickersGoToExplorer)
{
    const unsigned long low = 0x1000, medium = 0x2000, high = 0x3000, system = 0x4000;
    struct Row {
        int kind, known;
        unsigned long ours, theirs;
        int expected;
    };
    const Row rows[] = {
        {kFileDialog, 1, medium, medium, kRouteTypeName},
        {kFileDialog, 1, medium, high, kRouteExplorer},
        {kFileDialog, 1, medium, system, kRouteExplorer},
        {kFileDialog, 1, high, high, kRouteTypeName},
        {kFileDialog, 1, high, medium, kRouteTypeName},
        {kFileDialog, 1, medium, low, kRouteTypeName},
        {kFileDialog, 0, 0, 0, kRouteTypeName},  // XP, or the levels unreadable
        {kBrowsePicker, 1, medium, medium, kRouteSelect},
        {kBrowsePicker, 1, medium, high, kRouteExplorer},
        {kBrowsePicker, 0, 0, 0, kRouteSelect},
        {kItemPicker, 1, medium, medium, kRouteExplorer},
        {kItemPicker, 0, 0, 0, kRouteExplorer},
        {kNoDialog, 1, medium, medium, kRouteExplorer},
    };
    for (const Row& r : rows)
        EXPECT_EQ(r.expected, SwitchRoute(r.kind, r.known, r.ours, r.theirs))
            << "kind " << r.kind << " known " << r.known << " ours " << r.ours << " theirs "
            << r.theirs;
}

}  // namespace
