#pragma once

#include <QRandomGenerator>
#include <QString>
#include <functional>

inline constexpr int kCustomerKeyMin = 10000;
inline constexpr int kCustomerKeyMax = 2000000;

// A new customer key: the decimal text of a random whole number from 10000 to 2000000, drawn again
// while `taken` says it is in use.
QString drawCustomerKey(QRandomGenerator &random, const std::function<bool(const QString &)> &taken);
