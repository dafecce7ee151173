// The service's tests run it in-process, so the process owns Qt's image-format plug-ins as the
// service's own main does: through an application object that outlives every test.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <clocale>

int main(int argc, char** argv) {
    QCoreApplication application(argc, argv);
    std::setlocale(LC_ALL, "C");
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
