#include "fuzz/fuzzsupport.h"

#include "app/cryptosupport.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <cstdio>
#include <cstdlib>

namespace fuzzing {

namespace {

QTemporaryDir* workDirectory = nullptr;

void removeWorkDirectory()
{
    delete workDirectory;
    workDirectory = nullptr;
}

} // namespace

void start()
{
    // libFuzzer keeps argv alive for the whole run; the application object only needs a name.
    static int argc = 1;
    static char name[] = "certutil_fuzz";
    static char* argv[] = {name, nullptr};
    static QCoreApplication application(argc, argv);

    crypto::ensureProviders();
    workDirectory = new QTemporaryDir(QDir::tempPath() + QStringLiteral("/certutil_fuzz-XXXXXX"));
    require(workDirectory->isValid() && QDir::setCurrent(workDirectory->path()), "a working directory");
    std::atexit(removeWorkDirectory);
}

QByteArray writeInput(const char* fileName, const std::uint8_t* data, std::size_t size)
{
    QFile file(QString::fromUtf8(fileName));
    const qint64 length = static_cast<qint64>(size);
    require(file.open(QIODevice::WriteOnly | QIODevice::Truncate) &&
                file.write(reinterpret_cast<const char*>(data), length) == length,
            "writing the input file");
    file.close();
    return QFile::encodeName(QDir::current().absoluteFilePath(QString::fromUtf8(fileName)));
}

void require(bool condition, const char* what)
{
    if (condition)
        return;
    std::fprintf(stderr, "certutil fuzz: %s failed\n", what);
    std::abort();
}

} // namespace fuzzing
