#ifndef KESTRUNE_HOSTBINDING_H
#define KESTRUNE_HOSTBINDING_H

#include <windows.h>

const int HostApiCount = 34;

// The host's executable module while the plug-in is bound, else NULL.
extern HMODULE HostModule;
// Their presence proves that the host fits; nothing calls them.
extern FARPROC HostApi[HostApiCount];

bool BindHost();
void ReleaseHost();
void ShowAttachFailureBox();

#endif
