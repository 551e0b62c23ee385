#pragma once

// The QML page as the engine sees it: functions of its root object, called
// later on the GUI thread with the given arguments.

#include <QString>
#include <QVariantList>

namespace panel {

class IPage {
public:
    virtual ~IPage() = default;
    virtual void queueCall(const QString& function, const QVariantList& args) = 0;
};

} // namespace panel
