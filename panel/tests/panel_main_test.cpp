#include "panel/single_instance_guard.h"

#include <QProcess>

#include <gtest/gtest.h>

namespace {

// Waits for the probe to print a line starting with `prefix`; the limit only
// keeps a broken build from hanging.
bool waitForLine(QProcess& process, const QString& prefix, QString* line = nullptr) {
    for (;;) {
        while (process.canReadLine()) {
            const QString text = QString::fromUtf8(process.readLine()).trimmed();
            if (text.startsWith(prefix)) {
                if (line) *line = text;
                return true;
            }
        }
        if (!process.waitForReadyRead(20000)) return false;
    }
}

TEST(PanelMain, ASecondStartHandsOverAndExitsWithOne) {
    const QString probe = PANEL_MAIN_PROBE;
    QProcess first;
    first.start(probe, QStringList{});
    ASSERT_TRUE(first.waitForStarted());
    ASSERT_TRUE(waitForLine(first, "shown"));

    QProcess second;
    second.start(probe, QStringList{});
    ASSERT_TRUE(second.waitForFinished(20000));
    EXPECT_EQ(second.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(second.exitCode(), 1);
    QString secondOutput = QString::fromUtf8(second.readAllStandardOutput());
    EXPECT_FALSE(secondOutput.contains("shown")) << "the second start opened a window";

    // The first instance was asked for its window; with no headset it warns.
    QString warning;
    ASSERT_TRUE(waitForLine(first, "warning:", &warning));
    EXPECT_TRUE(warning.contains("Please connect"));

    first.kill();
    first.waitForFinished();
}

TEST(SingleInstanceGuard, TheKeyDependsOnTheProgramPath) {
    EXPECT_EQ(panel::SingleInstanceGuard::keyFor("/opt/a/panel"),
              panel::SingleInstanceGuard::keyFor("/opt/a/panel"));
    EXPECT_NE(panel::SingleInstanceGuard::keyFor("/opt/a/panel"),
              panel::SingleInstanceGuard::keyFor("/opt/b/panel"));
}

} // namespace
