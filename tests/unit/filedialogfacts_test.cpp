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
    int expected;                         // the name field's id, 0 for no file dialog
};

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
        FileDialogFacts facts = {};
        NoteDialogClass(&facts, c.topClass);
        for (const Descendant& d : c.descendants)
            NoteDescendant(&facts, d.cls, d.id, d.visible);
        EXPECT_EQ(c.expected, FileNameControlId(facts)) << c.what;
    }
}

}  // namespace
