#pragma once

// Application-modal warnings with an OK button only.

#include <QString>

namespace panel {

class IMessageBox {
public:
    virtual ~IMessageBox() = default;
    virtual void warning(const QString& title, const QString& text) = 0;
};

class QtMessageBox final : public IMessageBox {
public:
    void warning(const QString& title, const QString& text) override;
};

} // namespace panel
