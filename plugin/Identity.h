#ifndef KESTRUNE_IDENTITY_H
#define KESTRUNE_IDENTITY_H

#include <windows.h>

// The plug-in's own module, saved at attach; its resources live here.
extern HMODULE PluginModule;

extern const char PluginName[];
extern const char VersionText[];
extern const char VersionCaption[];
// Caption of every box that reports a failure to the user.
extern const char PluginErrorCaption[];

#endif
