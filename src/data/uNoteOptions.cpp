#include "data/uNoteOptions.h"

#include "shared/uIniFile.h"

namespace {
const QString kConfig = QStringLiteral("config");
const QString kGeneral = QStringLiteral("General");
} // namespace

void TNoteOptions::LoadFromFile(const QString& FileName) {
    const TIniFile ini(FileName);
    LoadSettings(&ini);
}

void TNoteOptions::LoadSettings(const TIniFile* Ini) {
    if (!Ini)
        return;
    FconfigLanguage = Ini->ReadString(kConfig, QStringLiteral("Language"), QStringLiteral("Chinese"));
    FconfigAffId = Ini->ReadString(kConfig, QStringLiteral("AffId"), QString());
    FconfigPcID = Ini->ReadString(kConfig, QStringLiteral("PcID"), QString());
    FconfigUserID = Ini->ReadString(kConfig, QStringLiteral("UserID"), QString());
    FconfigUserName = Ini->ReadString(kConfig, QStringLiteral("UserName"), QString());
    FconfigUserPass = Ini->ReadString(kConfig, QStringLiteral("UserPass"), QString());
    FconfigRefererID = Ini->ReadString(kConfig, QStringLiteral("RefererID"), QString());
    FconfigVersion = Ini->ReadBool(kConfig, QStringLiteral("Version"), false);
    FconfigAutoHideNote = Ini->ReadBool(kConfig, QStringLiteral("AutoHideNote"), false);
    FconfigInsertDateAuto = Ini->ReadBool(kConfig, QStringLiteral("InsertDateAuto"), false);
    FconfigInsertDateFormat =
        Ini->ReadString(kConfig, QStringLiteral("InsertDateFormat"), QStringLiteral("mm.dd"));
    FGeneralShowNotesOnDesk = Ini->ReadBool(kGeneral, QStringLiteral("ShowNotesOnDesk"), true);
    FGeneralShowHideNoteHint = Ini->ReadBool(kGeneral, QStringLiteral("ShowHideNoteHint"), true);
}

bool TNoteOptions::SaveToFile(const QString& FileName) const {
    TIniFile ini(FileName);
    SaveSettings(&ini);
    return ini.UpdateFile();
}

void TNoteOptions::SaveSettings(TIniFile* Ini) const {
    if (!Ini)
        return;
    Ini->WriteString(kConfig, QStringLiteral("Language"), FconfigLanguage);
    Ini->WriteString(kConfig, QStringLiteral("AffId"), FconfigAffId);
    Ini->WriteString(kConfig, QStringLiteral("PcID"), FconfigPcID);
    Ini->WriteString(kConfig, QStringLiteral("UserID"), FconfigUserID);
    Ini->WriteString(kConfig, QStringLiteral("UserName"), FconfigUserName);
    Ini->WriteString(kConfig, QStringLiteral("UserPass"), FconfigUserPass);
    Ini->WriteString(kConfig, QStringLiteral("RefererID"), FconfigRefererID);
    Ini->WriteBool(kConfig, QStringLiteral("Version"), FconfigVersion);
    Ini->WriteBool(kConfig, QStringLiteral("AutoHideNote"), FconfigAutoHideNote);
    Ini->WriteBool(kConfig, QStringLiteral("InsertDateAuto"), FconfigInsertDateAuto);
    Ini->WriteString(kConfig, QStringLiteral("InsertDateFormat"), FconfigInsertDateFormat);
    Ini->WriteBool(kGeneral, QStringLiteral("ShowNotesOnDesk"), FGeneralShowNotesOnDesk);
    Ini->WriteBool(kGeneral, QStringLiteral("ShowHideNoteHint"), FGeneralShowHideNoteHint);
}
