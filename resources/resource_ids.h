// Identifiers of the resources embedded in corvasta.exe, shared by the
// resource script and the window code. Plain macros: the resource compiler
// understands nothing else.
#pragma once

#define CorvastaIconId 1
#define StartPictureId 101
#define RunningPictureId 102
