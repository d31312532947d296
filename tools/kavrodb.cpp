// kavro-db: makes and converts register databases.
//   kavro-db init PATH     creates a new register with the default administrator and customer
#include "core/schema.h"

#include <QCoreApplication>
#include <QStringList>
#include <cstdio>

namespace {
int usage()
{
    std::fprintf(stderr, "usage:\n"
                         "  kavro-db init PATH\n");
    return 2;
}

int init(const QString &path)
{
    QString error;
    if (!initRegisterDatabase(path, &error)) {
        std::fprintf(stderr, "kavro-db: %s\n", qPrintable(error));
        return 1;
    }
    std::printf("created %s\n"
                "administrator account: %s, password: %s (change them in 功能设置 after the first login)\n",
                qPrintable(path), qPrintable(kDefaultAdminAccount), qPrintable(kDefaultAdminPassword));
    return 0;
}
} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments().mid(1);
    if (args.size() == 2 && args[0] == QLatin1String("init"))
        return init(args[1]);
    return usage();
}
