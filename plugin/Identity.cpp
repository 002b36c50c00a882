#include "Identity.h"

#include "KestruneVersion.h"

HMODULE PluginModule = NULL;

const char PluginName[] = "Kestrune";

// "Kestrune (Vandol for Quillon) Ver" and the version, a blank line, then the credits:
// "新着メールをCDトレイの開閉でお知らせします" / "(C) 2026 Kestrune 開発チーム".
// Lines are separated by a bare line feed.
const char VersionText[] =
    "Kestrune (Vandol for Quillon) Ver" KESTRUNE_VERSION_TEXT "\n"
    "\n"
    "\x90\x56\x92\x85\x83\x81\x81\x5B\x83\x8B\x82\xF0" "CD"
    "\x83\x67\x83\x8C\x83\x43\x82\xCC\x8A\x4A\x95\xC2\x82\xC5\x82\xA8\x92\x6D\x82\xE7\x82\xB9"
    "\x82\xB5\x82\xDC\x82\xB7\n"
    "(C) 2026 Kestrune \x8A\x4A\x94\xAD\x83\x60\x81\x5B\x83\x80";

// "プラグイン情報"
const char VersionCaption[] = "\x83\x76\x83\x89\x83\x4F\x83\x43\x83\x93\x8F\xEE\x95\xF1";

// "プラグインエラー"
const char PluginErrorCaption[] = "\x83\x76\x83\x89\x83\x4F\x83\x43\x83\x93\x83\x47\x83\x89\x81\x5B";
