#ifndef KESTRUNE_HOSTBINDING_H
#define KESTRUNE_HOSTBINDING_H

#include <windows.h>

// Finds the host's module and every function of the list in HostApiList.h; false, with the
// module released, when one is missing.
bool BindHost();
void ReleaseHost();
void ShowAttachFailureBox();

#endif
