#include "store/settings.h"

#include "base/numbers.h"
#include "base/text.h"
#include "platform/files.h"
#include "store/bracket_tokens.h"

Settings settings;

const char16_t kSettingsPath[] = u"\\My Documents\\Velkar\\vlcfg.cfg";

int32_t loadedSettings[kSettingsValueCount];

namespace {

int SettingsToken(int32_t number, char16_t* token, void* context)
{
    if (number < 1 || number > kSettingsValueCount) return 1;
    static_cast<int32_t*>(context)[number - 1] = TruncToInt32(TextToDouble(token));
    return 1;
}

}  // namespace

void SettingsToValues(int32_t v[kSettingsValueCount])
{
    const Settings& s = settings;
    const int32_t values[kSettingsValueCount] = {s.comPort,       s.baudRate,      s.gpsEmulation.load(),
                                                 s.prefInDegrees, s.audioMessages, s.trackToTarget,
                                                 s.enableLog,     s.proximity,     s.mapInDegrees};
    for (int i = 0; i < kSettingsValueCount; ++i) v[i] = values[i];
}

void ValuesToSettings(const int32_t v[kSettingsValueCount])
{
    Settings& s = settings;
    s.comPort = v[0];
    s.baudRate = v[1];
    s.gpsEmulation = v[2];
    s.prefInDegrees = v[3];
    s.audioMessages = v[4];
    s.trackToTarget = v[5];
    s.enableLog = v[6];
    s.proximity = v[7];
    s.mapInDegrees = v[8];
}

int ReadSettingsValues(int32_t values[kSettingsValueCount])
{
    return ReadBracketTokens(kSettingsPath, SettingsToken, values);
}

int WriteSettingsValues(const int32_t v[kSettingsValueCount])
{
    char16_t content[512];
    FormatText(content, sizeof content / sizeof content[0],
               "[BEGIN]\n[%d]\n[%d]\n[%d]\n[%d]\n[%d]\n[%d]\n[%d]\n[%d]\n[%d]\n[0]\n[0]\n[END]\n", v[0], v[1],
               v[2], v[3], v[4], v[5], v[6], v[7], v[8]);
    return ReplaceTextFile(kSettingsPath, content);
}

int LoadSettings()
{
    int32_t values[kSettingsValueCount];
    SettingsToValues(values);
    const int read = ReadSettingsValues(values);
    ValuesToSettings(values);
    SettingsToValues(loadedSettings);
    return read;
}

int SaveSettings()
{
    int32_t values[kSettingsValueCount];
    SettingsToValues(values);
    return WriteSettingsValues(values);
}
