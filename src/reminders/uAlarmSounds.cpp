#include "reminders/uAlarmSounds.h"

namespace {

constexpr int kLangChinesePrc = 2052;

} // namespace

const QStringList& AlarmSoundNames() {
    static const QStringList names{QStringLiteral("Alarm sound"),       QStringLiteral("Vireo call"),
                                   QStringLiteral("Cricket call"),      QStringLiteral("Meow"),
                                   QStringLiteral("Sea gull"),          QStringLiteral("The stream water"),
                                   QStringLiteral("School bell rings"), QStringLiteral("Electronic alarm")};
    return names;
}

const QStringList& AlarmSoundChineseNames() {
    static const QStringList names{QStringLiteral("闹钟声音"),     QStringLiteral("绿鹃鸟的叫声"),
                                   QStringLiteral("蝈蝈的叫声"),   QStringLiteral("猫叫声"),
                                   QStringLiteral("海鸥叫声"),     QStringLiteral("小溪流水声"),
                                   QStringLiteral("学校上课铃声"), QStringLiteral("电子警报声")};
    return names;
}

const QStringList& AlarmSoundDisplayNames(int langId) {
    return langId == kLangChinesePrc ? AlarmSoundChineseNames() : AlarmSoundNames();
}

QString AlarmSoundPath(const QString& programFolder, const QString& name) {
    return programFolder + QStringLiteral("sound/") + name + QStringLiteral(".mp3");
}
