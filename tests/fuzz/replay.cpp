// Replays files through a fuzz target without the fuzzer: every regression input and seed, on
// every test run, in an ordinary build. Arguments are files or folders (read recursively).
#include <QCoreApplication>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <cstdio>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size);

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    int files = 0;
    for (const QString &arg : app.arguments().mid(1)) {
        QStringList paths;
        if (QFileInfo(arg).isDir()) {
            QDirIterator it(arg, QDir::Files, QDirIterator::Subdirectories);
            while (it.hasNext())
                paths << it.next();
        } else if (QFileInfo(arg).isFile()) {
            paths << arg;
        }
        paths.sort();
        for (const QString &path : paths) {
            QFile f(path);
            if (!f.open(QIODevice::ReadOnly)) {
                std::fprintf(stderr, "cannot read %s\n", qPrintable(path));
                return 1;
            }
            const QByteArray bytes = f.readAll();
            std::fprintf(stderr, "%s\n", qPrintable(path));
            LLVMFuzzerTestOneInput(reinterpret_cast<const uint8_t *>(bytes.constData()), size_t(bytes.size()));
            ++files;
        }
    }
    std::printf("%d inputs replayed\n", files);
    return 0;
}
