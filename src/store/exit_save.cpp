// The Exit command's save over files other programs may have changed since the
// start: the settings values and map calibrations changed in this run are merged
// into the files as they are now, under the device root's lock.
#include "store/exit_save.h"

#include <string>

#include "base/text.h"
#include "platform/diagnostics.h"
#include "platform/files.h"
#include "platform/root_lock.h"
#include "store/bracket_tokens.h"
#include "store/maps.h"
#include "store/settings.h"

namespace {

// Where one token of a catalogue record lies in the text: from after its '[' to
// its ']'; start -1 when the ']' had no '[' of its own.
struct TokenSpan {
    long start = -1;
    long end = -1;
};

// The catalogue text with calibX and calibY of the first record whose bitmap path
// (token 2) is path replaced; 0 when no whole record has that path.
int ReplaceCalibration(std::u16string& text, const char16_t* path, int32_t calibX, int32_t calibY)
{
    TokenSpan spans[kLastTokenOfRecord + 1];
    long open = -1;
    int32_t k = 0;
    for (long i = 0; i < static_cast<long>(text.size()); ++i) {
        if (text[i] == u'[') {
            open = i + 1;
            continue;
        }
        if (text[i] != u']') continue;
        spans[k] = TokenSpan{open, i};
        open = -1;
        if (k < kLastTokenOfRecord) {
            ++k;
            continue;
        }
        k = 0;
        const TokenSpan name = spans[2], x = spans[9], y = spans[10];
        if (name.start < 0 || x.start < 0 || y.start < 0) continue;
        // The reader keeps 255 characters of a token, the table 259 of a path.
        const std::u16string stored = text.substr(name.start, name.end - name.start).substr(0, kTokenBufferSize - 1);
        if (stored != std::u16string(path).substr(0, kTokenBufferSize - 1)) continue;
        char16_t number[16];
        FormatText(number, 16, "%d", calibY);
        text.replace(y.start, y.end - y.start, number);
        FormatText(number, 16, "%d", calibX);
        text.replace(x.start, x.end - x.start, number);
        return 1;
    }
    return 0;
}

// Writes the calibrations changed in this run into the catalogue as it is now.
int SaveChangedCalibrations()
{
    bool changed = false;
    for (int i = 0; i < kMapCount; ++i)
        changed = changed || mapTable[i].calibX != loadedCalibration[i][0] || mapTable[i].calibY != loadedCalibration[i][1];
    if (!changed) return 1;
    const std::string host = DevicePathToHost(kMapCataloguePath);
    std::string why;
    if (!RecordFileReadable(host, &why)) {
        VerboseLine("the calibration was not saved: %s is %s", host.c_str(), why.c_str());
        return 0;
    }
    TextFile* file = OpenTextFile(kMapCataloguePath, "r");
    if (file == nullptr) {
        VerboseLine("the calibration was not saved: no catalogue %s to hold it", host.c_str());
        return 0;
    }
    std::u16string text;
    char16_t c;
    while (ReadTextChar(file, &c) == 1) text.push_back(c);
    CloseTextFile(file);
    int ok = 1;
    for (int i = 0; i < kMapCount; ++i) {
        const MapEntry& m = mapTable[i];
        if (m.calibX == loadedCalibration[i][0] && m.calibY == loadedCalibration[i][1]) continue;
        if (!ReplaceCalibration(text, m.bitmapPath, m.calibX, m.calibY)) {
            VerboseLine("the calibration of %s was not saved: %s has no record for it any more",
                        TextToUtf8(m.bitmapPath).c_str(), host.c_str());
            ok = 0;
        }
    }
    if (!ReplaceTextFile(kMapCataloguePath, text.c_str())) {
        VerboseLine("the calibration was not saved: %s cannot be replaced", host.c_str());
        return 0;
    }
    return ok;
}

}  // namespace

int SaveChangedSettings()
{
    std::string holder;
    const int lock = LockDeviceRoot(kRootLockWaitMs, "velkar", &holder);
    if (lock < 0 && !holder.empty()) {
        VerboseLine("the settings were not saved on Exit: the device root %s is locked by %s", DeviceRoot().c_str(),
                    holder.empty() ? "another program" : holder.c_str());
        return 0;
    }
    int32_t now[kSettingsValueCount], values[kSettingsValueCount];
    SettingsToValues(now);
    for (int i = 0; i < kSettingsValueCount; ++i) values[i] = now[i];
    // A file that cannot be read gets the whole record, as it always has.
    ReadSettingsValues(values);
    for (int i = 0; i < kSettingsValueCount; ++i)
        if (now[i] != loadedSettings[i]) values[i] = now[i];
    int ok = WriteSettingsValues(values);
    if (!ok)
        VerboseLine("the settings were not saved on Exit: %s cannot be replaced (the reason is above)",
                    DevicePathToHost(kSettingsPath).c_str());
    if (!SaveChangedCalibrations()) ok = 0;
    UnlockDeviceRoot(lock);
    return ok;
}

int RemoveDeviceRootLeftovers()
{
    int removed = 0;
    for (const char16_t* folder : {u"\\My Documents\\Velkar", u"\\dev"})
        removed += RemoveLeftoverTemporaries(DevicePathToHost(folder));
    if (removed > 0) VerboseLine("removed %d temporary files left by earlier runs", removed);
    return removed;
}
