// Recognising a file dialog from facts about its window.
#include "filedialogfacts.h"

#include "../core/paths.h"

void NoteDialogClass(FileDialogFacts* facts, const char* cls)
{
    facts->dialogClass = SamePath(cls, "#32770");
}

void NoteDescendant(FileDialogFacts* facts, const char* cls, int id, int visible)
{
    if (SamePath(cls, "SHELLDLL_DefView")) {
        facts->shellView = 1;
        if (id == kTemplateView)
            facts->templateView = 1;
    }
    if ((SamePath(cls, "SysTreeView32") && id == kBrowseTree) ||
        SamePath(cls, "SHBrowseForFolder ShellNameSpace Control"))
        facts->browseTree = 1;
    // Hidden fields are left out: a template may keep a control it does not use.
    if (!visible)
        return;
    if (id == kFileNameCombo)
        facts->nameCombo = 1;
    else if (id == kFileNameEdit)
        facts->nameEdit = 1;
    else if (id == kFileTypeCombo)
        facts->typeField = 1;
}

int FileNameControlId(const FileDialogFacts& facts)
{
    if (!facts.dialogClass || !facts.shellView)
        return 0;
    if (facts.nameCombo)
        return kFileNameCombo;
    return facts.nameEdit ? kFileNameEdit : 0;
}

int ClassifyDialog(const FileDialogFacts& facts)
{
    if (!facts.dialogClass)
        return kNoDialog;
    if (!facts.shellView)
        return facts.browseTree ? kBrowsePicker : kNoDialog;
    if (FileNameControlId(facts) == 0)
        return kNoDialog;
    return facts.templateView || facts.typeField ? kFileDialog : kItemPicker;
}

int SwitchRoute(int kind, int known, unsigned long ourLevel, unsigned long dialogLevel)
{
    if (known && dialogLevel > ourLevel)
        return kRouteExplorer;
    switch (kind) {
    case kFileDialog: return kRouteTypeName;
    case kBrowsePicker: return kRouteSelect;
    default: return kRouteExplorer;
    }
}
