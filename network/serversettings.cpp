#include "serversettings.h"

#include <QRandomGenerator>
#include <limits>

int drawHostKey() {
    return static_cast<int>(QRandomGenerator::system()->bounded(std::numeric_limits<int>::max()));
}
