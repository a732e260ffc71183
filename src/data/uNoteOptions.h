#pragma once
// The settings object: one process-wide instance mirroring config.ini.

#include <QString>

class TIniFile;

class TNoteOptions {
public:
    QString FconfigLanguage = QStringLiteral("Chinese");
    QString FconfigAffId;
    QString FconfigPcID;
    QString FconfigUserID;
    QString FconfigUserName;
    QString FconfigUserPass;
    QString FconfigRefererID;
    bool FconfigVersion = false;
    bool FconfigAutoHideNote = false;
    bool FconfigInsertDateAuto = false;
    QString FconfigInsertDateFormat = QStringLiteral("mm.dd");
    bool FGeneralShowNotesOnDesk = true;
    bool FGeneralShowHideNoteHint = true;

    void LoadFromFile(const QString& FileName);
    void LoadSettings(const TIniFile* Ini);
    // Returns false when the file could not be written (the old file is then intact).
    bool SaveToFile(const QString& FileName) const;
    void SaveSettings(TIniFile* Ini) const;
};
