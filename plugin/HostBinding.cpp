#include "HostBinding.h"

#include "Identity.h"

static const char HostModuleName[] = "Quillon.exe";

// The host's exports, by their decorated names, in the order they are looked up.
static const char* const HostApiNames[] = {
#define HOST_API(name, bytes) "_" #name "@" #bytes,
#include "HostApiList.h"
#undef HOST_API
};
static const int HostApiCount = sizeof HostApiNames / sizeof HostApiNames[0];

// The host's executable module while the plug-in is bound, else NULL.
static HMODULE HostModule = NULL;
// Their presence proves that the host fits; nothing calls them.
static FARPROC HostApi[HostApiCount];

// "プラグイン「%s」でエラーが発生しました。\r\nQuillon32とプラグインのバージョンを確認してください"
static const char AttachFailureFormat[] =
    "\x83\x76\x83\x89\x83\x4F\x83\x43\x83\x93\x81\x75%s\x81\x76\x82\xC5\x83\x47\x83\x89\x81\x5B"
    "\x82\xAA\x94\xAD\x90\xB6\x82\xB5\x82\xDC\x82\xB5\x82\xBD\x81\x42\r\n"
    "Quillon32\x82\xC6\x83\x76\x83\x89\x83\x4F\x83\x43\x83\x93\x82\xCC\x83\x6F\x81\x5B\x83\x57"
    "\x83\x87\x83\x93\x82\xF0\x8A\x6D\x94\x46\x82\xB5\x82\xC4\x82\xAD\x82\xBE\x82\xB3\x82\xA2";

bool BindHost()
{
    if (HostModule != NULL)
        return true;
    // Inside the host's process the bare name yields the host's own module.
    HostModule = LoadLibraryA(HostModuleName);
    if (HostModule == NULL)
        return false;
    for (int i = 0; i < HostApiCount; ++i) {
        HostApi[i] = GetProcAddress(HostModule, HostApiNames[i]);
        if (HostApi[i] == NULL) {
            ReleaseHost();
            return false;
        }
    }
    return true;
}

void ReleaseHost()
{
    if (HostModule != NULL) {
        FreeLibrary(HostModule);
        HostModule = NULL;
    }
}

void ShowAttachFailureBox()
{
    // The format with the constant plug-in name always fits.
    char text[500];
    wsprintfA(text, AttachFailureFormat, PluginName);
    MessageBoxA(NULL, text, PluginErrorCaption, MB_ICONHAND);
}
