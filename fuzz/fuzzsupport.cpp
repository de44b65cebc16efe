#include "fuzzsupport.h"

#include "crypto/cryptosupport.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <openssl/provider.h>

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

// Inputs are the arguments without a leading "-"; the options listed here take a path.
void makePathsAbsolute(int argc, char** argv)
{
    static const char* const pathOptions[] = {"-dict=",        "-artifact_prefix=",    "-exact_artifact_path=",
                                              "-seed_inputs=", "-merge_control_file=", "-features_dir="};
    const QByteArray here = QFile::encodeName(QDir::currentPath()) + '/';
    for (int i = 1; i < argc; ++i) {
        const QByteArray argument(argv[i]);
        QByteArray option;
        if (argument.startsWith('-')) {
            for (const char* pathOption : pathOptions) {
                if (argument.startsWith(pathOption))
                    option = pathOption;
            }
            if (option.isEmpty())
                continue;
        }
        const QByteArray path = argument.mid(option.size());
        if (path.isEmpty() || path.startsWith('/'))
            continue;
        // Kept for the whole run, as libFuzzer keeps argv.
        argv[i] = qstrdup((option + here + path).constData());
    }
}

} // namespace

void start(int* argc, char*** argv)
{
    makePathsAbsolute(*argc, *argv);
    // The application object gets a name only: libFuzzer's options are none of its business.
    static int applicationArgc = 1;
    static char name[] = "certutil_fuzz";
    static char* applicationArgv[] = {name, nullptr};
    static QCoreApplication application(applicationArgc, applicationArgv);

    crypto::ensureProviders();
    require(OSSL_PROVIDER_available(nullptr, "default") == 1, "the default provider");
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
