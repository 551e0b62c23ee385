#include "panel/file_counts.h"

#include <QDebug>

namespace panel {

int boundedCount(int stored, int largest, const QString& file, const char* key) {
    if (stored <= largest) return stored;
    qWarning().noquote() << QString("%1: %2=%3 is more than the file can hold; %4 are read")
                                .arg(file, key)
                                .arg(stored)
                                .arg(largest);
    return largest;
}

} // namespace panel
