#include "DriverStart.h"

#include "StringTable.h"

#include <QApplication>
#include <cstdio>
#include <cstdlib>

int StartDriver(int argc, char** argv, int minArguments, int maxArguments, const char* usage) {
    if (argc - 1 < minArguments || argc - 1 > maxArguments) {
        std::fprintf(stderr, "usage: %s %s\n", argv[0], usage);
        return 2;
    }
    QApplication::setOrganizationName("Orvanta");
    QApplication::setApplicationName("Orvanta");
    if (!StringTable::Instance().Load(argv[1], "en")) {
        std::fprintf(stderr, "cannot read %s\n", argv[1]);
        return EXIT_FAILURE;
    }
    return 0;
}
