#include "HostBinding.h"

#include "Identity.h"

HMODULE HostModule = NULL;
FARPROC HostApi[HostApiCount];

static const char HostModuleName[] = "Quillon.exe";

// The host's exports, by their decorated names, in the order they are looked up.
static const char* const HostApiNames[HostApiCount] = {
    "_APARegistCallback@8",
    "_APASetTimer@12",
    "_APAKillTimer@4",
    "_APAIsBusy@0",
    "_APAGetMailbox@0",
    "_APAGetAccount@4",
    "_APAGetFolderName@4",
    "_APAGetFolderWindow@4",
    "_APAImportFile@12",
    "_APASaveMail@16",
    "_APAMoveMail@8",
    "_APAMarkMail@12",
    "_APADeleteMail@4",
    "_APAFolderGetCurrentFolder@4",
    "_APAFolderGetCurrentEntry@4",
    "_APAFolderGetSelectEntry@8",
    "_APAFolderChangePassword@8",
    "_APAFolderMailTo@8",
    "_APAFolderReply@8",
    "_APAFolderForward@8",
    "_APAFolderOpenMail@12",
    "_APASendGetText@8",
    "_APASendGetHeader@4",
    "_APASendSetText@8",
    "_APASendSetHeader@8",
    "_APASendGetEditor@4",
    "_APAViewGetText@4",
    "_APAViewGetHeader@4",
    "_APAViewSetText@8",
    "_APAViewGetPath@4",
    "_APAViewGetEditor@4",
    "_APAViewChangeMail@8",
    "_APASjisToJis@12",
    "_APAJisToSjis@12",
};

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
