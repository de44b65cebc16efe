#ifndef APP_WORKINGFOLDER_H
#define APP_WORKINGFOLDER_H

#include <QString>

// Where the program keeps its files: the log (log/), the platform's root certificate (cert/RootCA_ZX.cer) and
// the request history (opts/). One decision serves all three: whether the program may write in its own folder.
//   - A portable copy (an unpacked zip, the build directory) may. The history lies in opts beside the executable,
//     and log/ and cert/ are relative to the working directory it was started in.
//   - An installed program (Program Files, /usr) may not. It works in the merchant's own data folder
//     (QStandardPaths::AppLocalDataLocation: %LOCALAPPDATA%\ZorvikCertUtil, ~/.local/share/ZorvikCertUtil), made
//     owner-only: enter() makes it the working directory at start, and the history lies in opts there.
// Tests point the program's folder somewhere private with setApplicationFolder.
class WorkingFolder
{
public:
    // The executable's folder (or what a test set); empty without an application object.
    static QString applicationFolder();
    // Whether the program may write in its own folder: tried, because permission bits do not tell (Windows
    // folders, read-only mounts).
    static bool isPortable();
    // The folder of the program's own files: applicationFolder() when portable, else the per-user data folder;
    // empty when unknown.
    static QString path();
    // At start, before the log: an installed program makes its data folder (with cert/ for the root certificate)
    // owner-only and works in it from now on. False when that failed; a portable copy stays where it was started.
    static bool enter();
    // Test seam: decide as if the executable lay in folder; empty goes back to the executable's own folder.
    static void setApplicationFolder(const QString& folder);
};

#endif // APP_WORKINGFOLDER_H
