#pragma once

#include <QStringList>
#include <QtGlobal>

#include <mutex>

namespace panel_test {

// The program's debug lines, while a test runs.
class DebugLines {
public:
    DebugLines() {
        s_lines = &m_lines;
        m_previous = qInstallMessageHandler(&DebugLines::record);
    }
    ~DebugLines() {
        qInstallMessageHandler(m_previous);
        s_lines = nullptr;
    }
    DebugLines(const DebugLines&) = delete;
    DebugLines& operator=(const DebugLines&) = delete;

    const QStringList& lines() const { return m_lines; }
    int count(const QString& line) const { return static_cast<int>(m_lines.count(line)); }
    void clear() { m_lines.clear(); }

private:
    static void record(QtMsgType, const QMessageLogContext&, const QString& text) {
        std::lock_guard<std::mutex> lock(s_mutex);
        if (s_lines) s_lines->push_back(text);
    }

    static inline std::mutex s_mutex;
    static inline QStringList* s_lines = nullptr;
    QStringList m_lines;
    QtMessageHandler m_previous = nullptr;
};

} // namespace panel_test
