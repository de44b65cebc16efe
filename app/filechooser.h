#ifndef APP_FILECHOOSER_H
#define APP_FILECHOOSER_H

#include "crypto/keyfilekind.h"

#include <QString>

class QWidget;

// The open-file dialog of every window that works with a local key or certificate file. The kind is decided from the
// file name, case-insensitively and anywhere in it: ".pem" is PEM, ".cer" (chooseCertFile only) a DER certificate,
// anything else PKCS#12, for which the password is asked. The chosen path becomes CertEngine::lastPath, the start of
// the next file dialog, even when the password box is then cancelled. True when a file was chosen (and its password
// confirmed); on false no output changes, and for kinds other than PKCS#12 password keeps its value.
bool chooseCertFile(QWidget* parent, QString* path, QString* displayName, KeyFileKind* kind, QString* password);
// The same for files that must hold a private key: PKCS#12 and PEM only.
bool chooseKeyFile(QWidget* parent, QString* path, QString* displayName, KeyFileKind* kind, QString* password);

// Where the file dialogs of the program start: the last chosen file or directory, or at first the program's
// working folder (WorkingFolder::path(): the executable's directory for a portable copy).
QString fileDialogStart();

#endif // APP_FILECHOOSER_H
