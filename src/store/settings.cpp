#include "store/settings.h"

#include "base/numbers.h"
#include "base/text.h"
#include "platform/files.h"
#include "store/bracket_tokens.h"

Settings settings;

const char16_t kSettingsPath[] = u"\\My Documents\\Velkar\\vlcfg.cfg";

namespace {

int SettingsToken(int32_t number, char16_t* token, void*)
{
    if (number < 1 || number > 9) return 1;
    const int32_t value = TruncToInt32(TextToDouble(token));
    Settings& s = settings;
    switch (number) {
    case 1: s.comPort = value; break;
    case 2: s.baudRate = value; break;
    case 3: s.gpsEmulation = value; break;
    case 4: s.prefInDegrees = value; break;
    case 5: s.audioMessages = value; break;
    case 6: s.trackToTarget = value; break;
    case 7: s.enableLog = value; break;
    case 8: s.proximity = value; break;
    case 9: s.mapInDegrees = value; break;
    }
    return 1;
}

}  // namespace

int LoadSettings()
{
    return ReadBracketTokens(kSettingsPath, SettingsToken, nullptr);
}

int SaveSettings()
{
    const Settings& s = settings;
    char16_t content[512];
    FormatText(content, sizeof content / sizeof content[0],
               "[BEGIN]\n[%d]\n[%d]\n[%d]\n[%d]\n[%d]\n[%d]\n[%d]\n[%d]\n[%d]\n[0]\n[0]\n[END]\n", s.comPort,
               s.baudRate, s.gpsEmulation.load(), s.prefInDegrees, s.audioMessages, s.trackToTarget, s.enableLog,
               s.proximity, s.mapInDegrees);
    return ReplaceTextFile(kSettingsPath, content);
}
