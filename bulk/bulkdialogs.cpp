#include "bulk/bulkdialogs.h"

#include "bulk/bulkdialogs_names.h"
#include "widgets/choosers.h"
#include "widgets/datebox.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QVBoxLayout>

namespace {
QDialogButtonBox *okCancel(QDialog *dialog)
{
    auto *buttons = new QDialogButtonBox(dialog);
    QPushButton *ok = buttons->addButton(BulkNames::okButton, QDialogButtonBox::AcceptRole);
    ok->setObjectName(BulkNames::okButton);
    ok->setDefault(true);
    buttons->addButton(BulkNames::cancelButton, QDialogButtonBox::RejectRole)->setObjectName(BulkNames::cancelButton);
    QObject::connect(buttons, &QDialogButtonBox::accepted, dialog, &QDialog::accept);
    QObject::connect(buttons, &QDialogButtonBox::rejected, dialog, &QDialog::reject);
    return buttons;
}
} // namespace

RenewDialog::RenewDialog(int servers, QWidget *parent) : QDialog(parent)
{
    setObjectName(BulkNames::renewDialog);
    setWindowTitle(BulkTexts::renewTitle);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(new QLabel(BulkTexts::renewPrompt.arg(servers), this));
    auto *grid = new QGridLayout;
    m_extend = new QRadioButton(BulkNames::extendChoice, this);
    m_extend->setObjectName(BulkNames::extendChoice);
    m_extend->setChecked(true);
    m_amount = new QSpinBox(this);
    m_amount->setObjectName(BulkNames::amount);
    m_amount->setAccessibleName(BulkNames::amount);
    m_amount->setRange(1, 120);
    m_amount->setValue(1);
    m_unit = new QComboBox(this);
    m_unit->setObjectName(BulkNames::unit);
    m_unit->setAccessibleName(BulkNames::unit);
    m_unit->addItems({BulkTexts::years, BulkTexts::months});
    m_set = new QRadioButton(BulkNames::setChoice, this);
    m_set->setObjectName(BulkNames::setChoice);
    m_date = new DateBox(this);
    m_date->setObjectName(BulkNames::date);
    m_date->setAccessibleName(BulkNames::date);
    m_date->setDate(QDate::currentDate().addYears(1));
    m_date->setEnabled(false);
    grid->addWidget(m_extend, 0, 0);
    grid->addWidget(m_amount, 0, 1);
    grid->addWidget(m_unit, 0, 2);
    grid->addWidget(m_set, 1, 0);
    grid->addWidget(m_date, 1, 1, 1, 2);
    layout->addLayout(grid);
    layout->addWidget(okCancel(this));
    connect(m_set, &QRadioButton::toggled, this, [this](bool on) {
        m_date->setEnabled(on);
        m_amount->setEnabled(!on);
        m_unit->setEnabled(!on);
    });
}

Renewal RenewDialog::renewal() const
{
    Renewal r;
    if (m_set->isChecked())
        r.setTo = m_date->isBlank() || m_date->notADate() ? QDate() : m_date->date();
    else
        r.months = m_amount->value() * (m_unit->currentText() == BulkTexts::years ? 12 : 1);
    return r;
}

CustomerDialog::CustomerDialog(int servers, const QStringList &customers, QWidget *parent)
    : QDialog(parent), m_customers(customers)
{
    setObjectName(BulkNames::customerDialog);
    setWindowTitle(BulkTexts::customerTitle);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(new QLabel(BulkTexts::customerPrompt.arg(servers), this));
    m_customer = new QComboBox(this);
    m_customer->setObjectName(BulkNames::customer);
    m_customer->setAccessibleName(BulkNames::customer);
    m_customer->addItems(customers);
    makeTypeable(m_customer);
    m_customer->setMinimumWidth(240);
    layout->addWidget(m_customer);
    layout->addWidget(okCancel(this));
}

QString CustomerDialog::customer() const
{
    const QString typed = m_customer->currentText();
    return m_customers.contains(typed) ? typed : QString();
}

RetireDialog::RetireDialog(int servers, QWidget *parent) : QDialog(parent)
{
    setObjectName(BulkNames::retireDialog);
    setWindowTitle(BulkTexts::retireTitle);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(new QLabel(BulkTexts::retirePrompt.arg(servers), this));
    m_date = new DateBox(this);
    m_date->setObjectName(BulkNames::retireDate);
    m_date->setAccessibleName(BulkNames::retireDate);
    m_date->setDate(QDate::currentDate());
    layout->addWidget(m_date);
    layout->addWidget(okCancel(this));
}

QDate RetireDialog::date() const
{
    return m_date->isBlank() || m_date->notADate() ? QDate() : m_date->date();
}
