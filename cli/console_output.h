// Where the console's lines go. Human lines go to standard output, or to
// standard error when the JSON document takes standard output. On a terminal
// one progress line stays at the bottom, rewritten in place; elsewhere there
// is none and every line is plain.
#pragma once

#include "cli/cli_text.h"

#include <string>

// The lines are UTF-8: a Windows console shows them as such from the first
// line on, and gets its own code page back at the end (it outlives this
// process). Nothing to do elsewhere.
void UseUtf8Console();
void RestoreConsoleCodePage();

void OpenConsoleOutput(bool json);
bool ProgressShown();

// A line that stays; the progress line, if any, is redrawn below it.
void PrintLine(const ConsoleLine& line);
// Terminal only: replaces the progress line.
void ShowProgress(const std::wstring& text);
void EndProgress();
void PrintDocument(const std::string& utf8);
