#include "crypto/keyfilekind.h"

KeyFileKind keyFileKindOf(const QString& fileName, bool certificatesToo)
{
    if (fileName.contains(QLatin1String(".pem"), Qt::CaseInsensitive))
        return KeyFilePem;
    if (certificatesToo && fileName.contains(QLatin1String(".cer"), Qt::CaseInsensitive))
        return KeyFileCertificate;
    return KeyFilePkcs12;
}
