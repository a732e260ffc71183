#pragma once
// The process-wide table of user-interface texts. Every window takes its titles,
// captions and message texts from here; the table is filled once at start-up from
// the chosen language file, and a key that file lacks falls back to the built-in
// English text of the row below.

#include <QString>
#include <span>

class TIniFile;

// One row per text, in load order: section, key, built-in English text.
// Section and key are spelled as in the language files (some spellings are odd,
// but existing files depend on them).
#define ZUVO_LANGUAGE_KEYS(X)                                                                                \
    X(FmMain, actClose_Caption, "E&xit")                                                                     \
    X(FmMain, actNewNote_Caption, "&Add Note")                                                               \
    X(FmMain, actLogin_Caption, "&Sign In")                                                                  \
    X(FmMain, actRegister_Caption, "Sign &Up")                                                               \
    X(FmMain, actLogout_Caption, "&Log Out")                                                                 \
    X(FmMain, actAbout_Caption, "A&bout Us")                                                                 \
    X(FmMain, actFeedback_Caption, "&Feedback")                                                              \
    X(FmMain, actCreateGreenVersion_Caption, "Create Portable Version")                                      \
    X(FmMain, actOptions_Caption, "&Options")                                                                \
    X(FmMain, actShowNotesOnDesk_Caption, "Show &Desktop Notes")                                             \
    X(FmMain, hint_NoTray,                                                                                   \
      "No notification area (tray) was found on this desktop, so Zuvo Note shows no tray icon. "             \
      "The tray's commands are in the menu of every note (right-click a note).")                             \
    X(FmMain, hint_CreateGreenVersion,                                                                       \
      "After creating the portable version of Zuvo Note, you can copy its files to a flash disk and use it " \
      "anywhere from there. Create it now?")                                                                 \
    X(FmMain, hint_CreateGreenVersionFailed,                                                                 \
      "Failed to create the portable version. Please close the program and run it as administrator to try "  \
      "again, or contact our support team for more help.")                                                   \
    X(FmMain, hint_CreateGreenVersionSucc,                                                                   \
      "The portable version was created. Please copy the files in the opened folder to a USB flash disk to " \
      "use the program on another computer.")                                                                \
                                                                                                             \
    X(FmNote, blankNoteHint, "Double Click To Edit Note. Right Click To Add New Note.")                      \
    X(FmNote, actAddNewNote_Caption, "&Add Note")                                                            \
    X(FmNote, actDelNote_Caption, "&Delete Note")                                                            \
    X(FmNote, actUpdateNotes_Caption, "&Update Notes")                                                       \
    X(FmNote, actSetTransValue_Caption, "&Transparency")                                                     \
    X(FmNote, actLogin_Caption, "&Sign In")                                                                  \
    X(FmNote, actClose_Caption, "E&xit")                                                                     \
    X(FmNote, actRegister_Caption, "Sign U&p")                                                               \
    X(FmNote, actLogout_Caption, "&Log Out")                                                                 \
    X(FmNote, actMyAccount_Caption, "&My Account")                                                           \
    X(FmNote, actSetupAlert_Caption, "Add Ale&rt")                                                           \
    X(FmNote, actSetColor_Caption, "Text &Color")                                                            \
    X(FmNote, actSetFont_Caption, "Text &Font")                                                              \
    X(FmNote, actIsTopMost_Caption, "T&opmost")                                                              \
    X(FmNote, actAutoHide_Caption, "&Hide Automatically")                                                    \
    X(FmNote, actAutoHeight_Caption, "Auto H&eight")                                                         \
    X(FmNote, confrimDeleteNote, "Are you sure you want to delete this note?")                               \
    X(FmNote, actHideOnThisComputer_Caption, "H&ide on this PC")                                             \
    X(FmNote, actUpdateHistory_Caption, "Update Histor&y")                                                   \
    X(FmNote, actNoteManager_Caption, "&Note Manager")                                                       \
    X(FmNote, actOnlyShowOnThisComputer_Caption, "Show on this PC only")                                     \
    X(FmNote, actFeedback_Caption, "Feed&back")                                                              \
    X(FmNote, actAbout_Caption, "About U&s")                                                                 \
    X(FmNote, hideNoteConfirm,                                                                               \
      "You will never see the note on THIS computer, confirm hide(You can display it again in \"Note "       \
      "Manager\")?")                                                                                         \
    X(FmNote, lblDeleteAlert_Caption, "The note was deleted on server, local note will be deleted now.")     \
    X(FmNote, btnCopyNote_Caption, "&Copy Note")                                                             \
    X(FmNote, actBGColor_Caption, "Back&ground Color")                                                       \
    X(FmNote, actCopy_Caption, "Cop&y Text")                                                                 \
    X(FmNote, actPaste_Caption, "&Paste Text")                                                               \
    X(FmNote, actListStyle_Caption, "Show As &List")                                                         \
    X(FmNote, actListNone_Caption, "None")                                                                   \
    X(FmNote, actListBullet_Caption, "Bullet")                                                               \
    X(FmNote, actListARABIC_Caption, "Arabic Numbers(1, 2, 3...)")                                           \
    X(FmNote, actListLCLETTER_Caption, "Lowercase Letters(a, b, c...)")                                      \
    X(FmNote, actListLCROMAN_Caption, "Lowercase Roman Letters(i, ii, iii...)")                              \
    X(FmNote, actListUCLETTER_Caption, "Uppercase Letters(A, B, C...)")                                      \
    X(FmNote, actListUCROMAN_Caption, "Uppercase Roman Letters(I, II, III...)")                              \
    X(FmNote, pnlIsUpdating_Caption, "Cannot edit the note yet, please wait...")                             \
    X(FmNote, audioPlayCaption, "Play")                                                                      \
    X(FmNote, audioStopCaption, "Stop")                                                                      \
    X(FmNote, udpnotes_err_notlogin, "You have not signed in, please sign in first!")                        \
    X(FmNote, syncTooLarge_Hint,                                                                             \
      "This note is too long for the server to store, so it is not synced. Shorten it to sync it again.")    \
                                                                                                             \
    X(FmDelAlert, Caption, "Note Deleted")                                                                   \
    X(FmDelAlert, lblDeleteAlert_Caption, "The note was deleted on server, local note will be deleted now.") \
    X(FmDelAlert, btnCopyNote_Caption, "&Copy Note")                                                         \
                                                                                                             \
    X(FmSetTrans, Caption, "Transparency")                                                                   \
    X(FmSetTrans, chkApply2AllNote_Caption, "&Apply to all notes")                                           \
                                                                                                             \
    X(FmFont, Caption, "Font")                                                                               \
    X(FmFont, grpFontName_Caption, "Font Name")                                                              \
    X(FmFont, lblFontSize_Caption, "Font Size")                                                              \
    X(FmFont, grpTextStyle_Caption, "Text Style")                                                            \
    X(FmFont, chkFontBold_Caption, "&Bold")                                                                  \
    X(FmFont, pnlPreview_Caption, "Preview")                                                                 \
                                                                                                             \
    X(FmSetTextColor, Caption, "Text Color")                                                                 \
    X(FmSetTextColor, grpTextColor_Caption, "Text Color")                                                    \
                                                                                                             \
    X(FmAlertSetup, Caption, "Alert Setup")                                                                  \
    X(FmAlertSetup, grpAlertSetup_caption, "Please select an alert type")                                    \
    X(FmAlertSetup, rbNoAlert_Caption, "&No Alert")                                                          \
    X(FmAlertSetup, rbFixedTime_Caption, "&Fixed Time")                                                      \
    X(FmAlertSetup, rbEveryHour_Caption, "Every &Hour")                                                      \
    X(FmAlertSetup, rbEveryDay_Caption, "Every &Day")                                                        \
    X(FmAlertSetup, rbEveryWeek_Caption, "Every &Week")                                                      \
    X(FmAlertSetup, rbEveryMonth_Caption, "Every &Month")                                                    \
    X(FmAlertSetup, alertSelWeekday, "Please select a day in the list!")                                     \
    X(FmAlertSetup, alertSelMonthday, "Please select a day in the list!")                                    \
    X(FmAlertSetup, chkSound_Caption, "Alert &Sound")                                                        \
    X(FmAlertSetup, btnSelectWeekday_Caption, "Select Week Da&y")                                            \
                                                                                                             \
    X(FmNoteManager, Caption, "Note Manager")                                                                \
    X(FmNoteManager, grpHidedNotes_Caption, "Hidden Notes")                                                  \
    X(FmNoteManager, btnShow_Caption, "&Show Notes")                                                         \
                                                                                                             \
    X(FmFeedback, Caption, "Feedback")                                                                       \
    X(FmFeedback, lblTitleName_Caption, "&Name")                                                             \
    X(FmFeedback, lblTitleEmail_Caption, "&Email")                                                           \
    X(FmFeedback, lblTitleContent_Caption, "C&ontent")                                                       \
    X(FmFeedback, lblSendByEmail_Caption, "You can also send feedback to us by email %s")                    \
    X(FmFeedback, btnSubmit_Caption, "&Submit")                                                              \
    X(FmFeedback, errInvalidEmail, "Email address is invalid.")                                              \
    X(FmFeedback, errContentIsblank, "Content cannot be blank.")                                             \
    X(FmFeedback, errNetworkError, "Failed to submit, network error.")                                       \
    X(FmFeedback, errIncompleteInfo, "Failed to submit, incomplete information.")                            \
    X(FmFeedback, errUnknowError, "Failed to submit, unknown error.")                                        \
    X(FmFeedback, alertSubmitSucc, "Feedback submitted successfully, thanks for your suggestion!")           \
                                                                                                             \
    X(FmLogin, Caption, "Sign In")                                                                           \
    X(FmLogin, lblTitleHost_Caption, "Server:")                                                              \
    X(FmLogin, lblTitleAccount_Caption, "&Account:")                                                         \
    X(FmLogin, lblTitlePass_Caption, "&Password:")                                                           \
    X(FmLogin, lblTitleCode_Caption, "Code:")                                                                \
    X(FmLogin, chkSavePassword_Caption, "Remember password")                                                 \
    X(FmLogin, lblTitleRegister_Caption, "Free Sign Up")                                                     \
    X(FmLogin, lblTitleForgotPW_Caption, "Forgot Password")                                                  \
    X(FmLogin, btnLogin_Caption, "&Sign In")                                                                 \
    X(FmLogin, btnCancel_Caption, "Cancel")                                                                  \
    X(FmLogin, laNoAccount, "Please input your account.")                                                    \
    X(FmLogin, laNoPass, "Please input your password.")                                                      \
    X(FmLogin, lsInit, "Wait for sign in.")                                                                  \
    X(FmLogin, lsrunning, "Signing in...")                                                                   \
    X(FmLogin, lsaccess, "Sign in successfully.")                                                            \
    X(FmLogin, lseNoUser, "Failed to sign in: no such account, or a wrong password.")                        \
    X(FmLogin, lseNoRight, "Your account has expired, please contact us.")                                   \
    X(FmLogin, lseUserlocked, "Your account is locked, please contact us.")                                  \
    X(FmLogin, lseInvalidReq, "Invalid request, please try again.")                                          \
    X(FmLogin, lseNetError, "Failed to sign in, network error, please contact us.")                          \
    X(FmLogin, lseServerDown,                                                                                \
      "Failed to sign in: the server %s cannot be reached. Check the server address and the network.")       \
    X(FmLogin, lseUnknownError, "Failed to sign in, unknown error.")                                         \
    X(FmLogin, lseNeedHttps,                                                                                 \
      "The server must use HTTPS: a password is never sent over an unencrypted connection.")                 \
    X(FmLogin, lseNotSaved,                                                                                  \
      "Signed in, but the settings file could not be saved: sign in again after a restart.")                 \
                                                                                                             \
    X(FmOptions, Caption, "Options")                                                                         \
    X(FmOptions, tsGeneral_Caption, "&General")                                                              \
    X(FmOptions, chkStartAutomatically, "&Run program when system start")                                    \
    X(FmOptions, chkShowNotes_Caption, "Show notes on &desktop")                                             \
    X(FmOptions, lblShortcut_Caption, "Show/Hide Shortcut")                                                  \
    X(FmOptions, tsGreenVersion_Caption, "&Portable Version")                                                \
    X(FmOptions, btnCreateGreenVersion_Captino, "&Create Now...")                                            \
    X(FmOptions, hint_Savesucc, "Saved successfully!")                                                       \
    X(FmOptions, chkInsertTimeAuto_Caption, "&Insert time when create new line")                             \
    X(FmOptions, grpDateFormat_Caption, "Date format")                                                       \
    X(FmOptions, TabSheet1_Caption, "&Note Editing")                                                         \
    X(FmOptions, lblLanguage_Caption, "&Language:")                                                          \
    X(FmOptions, hint_LanguageNextStart, "The new language is used the next time Zuvo Note starts.")         \
                                                                                                             \
    X(FmUserInfo, Caption, "My Account")                                                                     \
    X(FmUserInfo, btnChangePass_Caption, "&Change Pass")                                                     \
    X(FmUserInfo, grpMyAccount_Caption, "My Account")                                                        \
    X(FmUserInfo, lblTitleCurrUser_Caption, "Account:")                                                      \
    X(FmUserInfo, lblTitleQRCode_Caption, "Sign in with QR Code")                                            \
    X(FmUserInfo, btnLogout_Caption, "&Logout")                                                              \
    X(FmUserInfo, lblShowQRCode_Caption, "Click to show the QR code")                                        \
                                                                                                             \
    X(FmSelectWeekday, Caption, "Select Day of week")                                                        \
    X(FmSelectMonthday, Caption, "Select Day of month")                                                      \
                                                                                                             \
    X(FmRegister, Caption, "Free Sign Up")                                                                   \
    X(FmRegister, grpBasicInfo_Caption, "Basic Information")                                                 \
    X(FmRegister, grpDetailedInfo_Caption, "Detailed Information")                                           \
    X(FmRegister, lblTitleAccount_Caption, "Em&ail Account:")                                                \
    X(FmRegister, lblTitlePass_Caption, "&Password:")                                                        \
    X(FmRegister, lblTitleRePass_Caption, "&Retype Password:")                                               \
    X(FmRegister, lblTitleName_Caption, "User &Name:")                                                       \
    X(FmRegister, chkDetailedInfo_Caption, "Input &detailed information")                                    \
    X(FmRegister, lblTitleIndustry_Caption, "Industry:")                                                     \
    X(FmRegister, lblTitleTel_Caption, "&Tel:")                                                              \
    X(FmRegister, lblTitleMobile_Caption, "&Mobile:")                                                        \
    X(FmRegister, lblTitleWebSite_Caption, "&WebSite:")                                                      \
    X(FmRegister, lblTitleProvince_Caption, "Pro&vince:")                                                    \
    X(FmRegister, lblTitleCity_Caption, "&City:")                                                            \
    X(FmRegister, lblTitleQQ_Caption, "S&kype:")                                                             \
    X(FmRegister, lblTitleMSN_Caption, "M&SN:")                                                              \
    X(FmRegister, lblTitleRemark_Caption, "R&emark:")                                                        \
    X(FmRegister, lblTitleCode_Caption, "Code:")                                                             \
    X(FmRegister, btnRegister_Caption, "Su&bmit")                                                            \
    X(FmRegister, btnCancel_Caption, "Cancel")                                                               \
    X(FmRegister, raInvalidAccount, "Not a valid email account, please input again.")                        \
    X(FmRegister, raIncompleteInput, "The items in red must be filled in.")                                  \
    X(FmRegister, raPassRepass, "Confirm password doesn't match password, please input again.")              \
    X(FmRegister, raShortPass, "Password must be 6 characters in length, please input again.")               \
    X(FmRegister, rsRegistering, "Submitting...")                                                            \
    X(FmRegister, rsRegSuccess, "Submit successfully, please remember your password well.")                  \
    X(FmRegister, rseIncompleteInfo, "Failed to sign up, incomplete information.")                           \
    X(FmRegister, rseExistUser, "Failed to sign up, the email account or PC code already exists.")           \
    X(FmRegister, rseNetErr, "Failed to sign up, network error, please contact us.")                         \
    X(FmRegister, rseUnknownErr, "Failed to sign up, unknown error.")                                        \
    X(FmRegister, rseNeedHttps,                                                                              \
      "The server must use HTTPS: a password is never sent over an unencrypted connection.")                 \
                                                                                                             \
    X(FmAlertWindow, Caption, "Alert")                                                                       \
    X(FmAlertWindow, btnSetupAlert_Caption, "&Setup Alert")                                                  \
    X(FmAlertWindow, btnClose_Caption, "I SEE!")                                                             \
                                                                                                             \
    X(FmLogout, Caption, "Logout")                                                                           \
    X(FmLogout, grpLogout_Caption, "You have signed in with %s, are you sure you want to log out?")          \
    X(FmLogout, btnLogout_Caption, "&Logout")                                                                \
    X(FmLogout, alertLogoutSucc, "Logged out successfully!")                                                 \
    X(FmLogout, alertLogoutNotSaved,                                                                         \
      "Logged out, but the settings file could not be saved: the account is back after a restart.")          \
                                                                                                             \
    X(FmHint, Caption, "Hint")                                                                               \
    X(FmHint, chkDoNotShow_Caption, "&Do not show this alert again")                                         \
    X(FmHint, HideNoteHint,                                                                                  \
      "When you enable \"Hide Automatically\" function, you can drag note to the screen edge to hide note.") \
                                                                                                             \
    X(FmQrcodeDL, Caption, "Download by qrcode")                                                             \
    X(FmUpdateHistory, Caption, "Note Update History")                                                       \
                                                                                                             \
    X(Others, chkApply2AllNote_Caption, "&Apply to All Notes")                                               \
    X(Others, btnOK_Caption, "OK")                                                                           \
    X(Others, btnCancel_Caption, "Cancel")                                                                   \
    X(Others, btnSave_Caption, "&Save")                                                                      \
    X(Others, title_dlginformation, "Information")                                                           \
    X(Others, title_dlgquestion, "Question")                                                                 \
    X(Others, title_dlgerror, "Error")                                                                       \
    X(Others, title_dlghint, "Hint")                                                                         \
    X(Others, title_monday, "Monday")                                                                        \
    X(Others, title_Tuesday, "Tuesday")                                                                      \
    X(Others, title_Wednesday, "Wednesday")                                                                  \
    X(Others, title_Thursday, "Thursday")                                                                    \
    X(Others, title_Friday, "Friday")                                                                        \
    X(Others, title_Saturday, "Saturday")                                                                    \
    X(Others, title_Sunday, "Sunday")                                                                        \
                                                                                                             \
    X(StoreBackup, errDamagedStore,                                                                          \
      "Zuvo Note cannot use its note database %s (%s). The file has been left as it is.")                    \
    X(StoreBackup, hintRestoreBackup,                                                                        \
      "The newest backup of your notes is %s. To put it back, end Zuvo Note, copy that file over %s and "    \
      "start Zuvo Note again.")                                                                              \
                                                                                                             \
    X(FmMissedAlerts, Caption, "Missed Reminders")                                                           \
    X(FmMissedAlerts, lblMissed_Caption,                                                                     \
      "These reminders fell due while Zuvo Note was not running or the computer was asleep.")                \
    X(FmMissedAlerts, colDue_Caption, "Due")                                                                 \
    X(FmMissedAlerts, colNote_Caption, "Note")                                                               \
    X(FmMissedAlerts, btnOpenNote_Caption, "&Open Note")                                                     \
    X(FmMissedAlerts, btnClose_Caption, "Close")                                                             \
                                                                                                             \
    X(FmImport, actImportNotes_Caption, "&Import Notes...")                                                  \
    X(FmImport, dlgSelect_Caption, "Choose the folder of the notes to import")                               \
    X(FmImport, hintImported, "Notes imported: %s.")                                                         \
    X(FmImport, hintNothingFound, "No notes were found in %s.")                                              \
    X(FmImport, hintUnreadable, "These files could not be read: %s")                                         \
    X(FmImport, errAlreadyRunning,                                                                           \
      "Zuvo Note is already running. Choose \"Import Notes\" in its tray menu, or end it and run this "      \
      "command again.")

class TLanguageObject {
public:
    // One row of the table, for code that walks every text (tests, tools, the
    // server's copy of the texts) instead of naming each accessor.
    struct TKey {
        const char* Section;
        const char* Key;
        const char* Default; // built-in English text, UTF-8
        QString TLanguageObject::*Field;
    };

    TLanguageObject() = default;

    // Reads the language file. A missing or unreadable file changes nothing and
    // returns false, so the texts stay as they were (empty at start-up).
    bool LoadFromFile(const QString& FileName);
    // Reads every key in table order; a key the file lacks takes its English text.
    void LoadSettings(const TIniFile* Ini);

    // The text of one key, matched without regard to case; empty for an unknown key.
    [[nodiscard]] QString Text(const QString& section, const QString& key) const;

    [[nodiscard]] static std::span<const TKey> Keys();
    [[nodiscard]] static int KeyCount() { return int(Keys().size()); }
    // The built-in English text of one key (case-insensitive); empty for an unknown key.
    [[nodiscard]] static QString DefaultText(const QString& section, const QString& key);
    // Where the start-up code looks for a language: <program folder>/languages/<name>.lng.
    [[nodiscard]] static QString LanguageFilePath(const QString& programDir, const QString& language);

#define ZUVO_LANGUAGE_ACCESSORS(section, key, text)                                                          \
    [[nodiscard]] const QString& section##key() const {                                                      \
        return F##section##key;                                                                              \
    }                                                                                                        \
    void Set##section##key(const QString& value) {                                                           \
        F##section##key = value;                                                                             \
    }
    ZUVO_LANGUAGE_KEYS(ZUVO_LANGUAGE_ACCESSORS)
#undef ZUVO_LANGUAGE_ACCESSORS

private:
    [[nodiscard]] static int indexOf(const QString& section, const QString& key);

#define ZUVO_LANGUAGE_FIELD(section, key, text) QString F##section##key;
    ZUVO_LANGUAGE_KEYS(ZUVO_LANGUAGE_FIELD)
#undef ZUVO_LANGUAGE_FIELD
};

// The given table, or an empty one (every text empty) for null.
[[nodiscard]] const TLanguageObject& LanguageOrEmpty(const TLanguageObject* language);
