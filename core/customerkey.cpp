#include "core/customerkey.h"

QString drawCustomerKey(QRandomGenerator &random, const std::function<bool(const QString &)> &taken)
{
    for (;;) {
        const QString key = QString::number(random.bounded(kCustomerKeyMin, kCustomerKeyMax + 1));
        if (!taken(key))
            return key;
    }
}
