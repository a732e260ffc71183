#pragma once
// The data folder holds the password digest (config.ini) and every note
// (brisel.mdb): it is the user's alone. Folders are made closed to other
// users, and what an older run left open is closed again, but only when it
// belongs to this user: a file someone else owns is never touched.

#include <QString>

namespace PrivateFiles {

// Makes the folder and its missing parents (each new one 0700) and closes
// the folder itself to others. False when it could not be made.
bool MakeFolder(const QString& path);
// Takes every right of group and others from a file or folder of this user;
// a link, a missing file and someone else's file are left as they are.
void Close(const QString& path);

} // namespace PrivateFiles
