#include "panel/fuzz/fuzz_scratch.h"

#include "platform/fuzz/fuzz_require.h"

#include <QDir>
#include <QtGlobal>

namespace panel_fuzz {

namespace {

void quiet(QtMsgType, const QMessageLogContext&, const QString&) {}

QTemporaryDir& root() {
    static QTemporaryDir dir;
    fuzzRequire(dir.isValid(), "cannot make a scratch folder");
    return dir;
}

} // namespace

InputFolder::InputFolder() {
    static unsigned long long next = 0;
    static const bool quieted = (qInstallMessageHandler(quiet), true);
    (void)quieted;
    m_path = root().filePath(QString::number(next++));
    fuzzRequire(QDir().mkpath(m_path), "cannot make an input's folder");
}

InputFolder::~InputFolder() { QDir(m_path).removeRecursively(); }

} // namespace panel_fuzz
