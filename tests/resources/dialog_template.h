// Reads an extended dialog template (DLGTEMPLATEEX, as the resource compiler writes
// DIALOGEX) into plain values, so tests can compare a module's dialogs field by field.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace quillon::test {

struct DialogItem {
    DWORD style = 0;
    DWORD exStyle = 0;
    short x = 0, y = 0, cx = 0, cy = 0;
    int id = 0;                 // -1 for the usual "no id" statics
    std::string windowClass;    // "#128" for a predefined class ordinal, else the name
    std::string text;           // "#107" for an ordinal (icon resources), else the text
};

struct DialogTemplate {
    DWORD style = 0;
    DWORD exStyle = 0;
    short x = 0, y = 0, cx = 0, cy = 0;
    std::string menu;
    std::string windowClass;
    std::string title;
    int pointSize = 0;          // 0 when the template names no font
    std::string typeface;
    std::vector<DialogItem> items;
};

// Parses the template of dialog `id` in `module`. Returns false (with `error` saying
// why) when the resource is missing, is not an extended template, or is cut short.
bool ReadDialogTemplate(HMODULE module, int id, DialogTemplate &out, std::string &error);

} // namespace quillon::test
