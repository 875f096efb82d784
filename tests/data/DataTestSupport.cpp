// Test support for the data layer: database files, event recorders and query factories.
#include "DataTestSupport.h"

#include "data/Schema.h"

#include <gtest/gtest.h>
#include <sqlite3.h>

namespace datatest {

void EventLog::attach(data::TDataSet& set, bool logCalc) {
    const auto rec = [this](const char* name) {
        return [this, name](data::TDataSet&) { entries_ << QString::fromLatin1(name); };
    };
    set.BeforeOpen = rec("BeforeOpen");
    set.AfterOpen = rec("AfterOpen");
    set.BeforeClose = rec("BeforeClose");
    set.AfterClose = rec("AfterClose");
    set.BeforeScroll = rec("BeforeScroll");
    set.AfterScroll = rec("AfterScroll");
    set.BeforeInsert = rec("BeforeInsert");
    set.AfterInsert = rec("AfterInsert");
    set.OnNewRecord = rec("OnNewRecord");
    set.BeforeEdit = rec("BeforeEdit");
    set.AfterEdit = rec("AfterEdit");
    set.BeforePost = rec("BeforePost");
    set.AfterPost = rec("AfterPost");
    set.BeforeCancel = rec("BeforeCancel");
    set.AfterCancel = rec("AfterCancel");
    set.BeforeDelete = rec("BeforeDelete");
    set.AfterDelete = rec("AfterDelete");
    if (logCalc) {
        data::TDataSetNotifyEvent inner = set.OnCalcFields;
        set.OnCalcFields = [this, inner](data::TDataSet& ds) {
            entries_ << QStringLiteral("OnCalcFields");
            if (inner)
                inner(ds);
        };
    }
}

QStringList EventLog::take() {
    QStringList out = entries_;
    entries_.clear();
    return out;
}

void RecordingLink::activeChanged() {
    log_.add(name_ + (active() ? QStringLiteral(" active") : QStringLiteral(" inactive")));
}

void RecordingLink::editingChanged() {
    log_.add(name_ + (editing() ? QStringLiteral(" editing") : QStringLiteral(" browsing")));
}

void RecordingLink::recordChanged(data::TField* field) {
    log_.add(field ? name_ + QStringLiteral(" field ") + field->fieldName()
                   : name_ + QStringLiteral(" record"));
}

void RecordingLink::dataSetChanged() {
    log_.add(name_ + QStringLiteral(" changed"));
}

void RecordingLink::dataSetScrolled(int distance) {
    log_.add(name_ + QStringLiteral(" scrolled ") + QString::number(distance));
}

void RecordingLink::layoutChanged() {
    log_.add(name_ + QStringLiteral(" layout"));
}

void RecordingLink::updateData() {
    log_.add(name_ + QStringLiteral(" update"));
}

void RecordingLink::checkBrowseMode() {
    log_.add(name_ + QStringLiteral(" check"));
}

void RecordingLink::focusControl(data::TField* field) {
    log_.add(name_ + QStringLiteral(" focus ") + (field ? field->fieldName() : QString()));
}

std::unique_ptr<data::TQuery> customerQuery(data::TConnection& connection) {
    auto q = std::make_unique<data::TQuery>(QStringLiteral("qryMain"), &connection);
    data::declareCustomerFields(*q);
    q->addSql(QStringLiteral("select * from t_musteri"));
    return q;
}

std::unique_ptr<data::TQuery> serviceQuery(data::TConnection& connection, qint64 customer) {
    auto q = std::make_unique<data::TQuery>(QStringLiteral("qryServis"), &connection);
    data::declareServiceFields(*q);
    q->OnCalcFields = serviceCalcFields;
    q->addSql(customer < 0
                  ? QStringLiteral("select * from t_servis")
                  : QStringLiteral("select * from t_servis where id_musteri=%1").arg(customer));
    return q;
}

void serviceCalcFields(data::TDataSet& ds) {
    const Money total = ds.fieldByName("f_iscilik").asMoney() + ds.fieldByName("f_tutar").asMoney();
    ds.fieldByName("c_toplam").setAsMoney(total);
    ds.fieldByName("c_kalan").setAsMoney(ds.fieldByName("c_toplam").asMoney() -
                                         ds.fieldByName("f_odeme").asMoney());
}

QStringList windowNames(data::TDataSet& set) {
    QStringList names;
    const int saved = set.activeRecord();
    for (int i = 0; i < set.windowRecordCount(); ++i) {
        set.setActiveRecord(i);
        names << set.fieldByName("f_adi").asString();
    }
    set.setActiveRecord(saved);
    return names;
}

} // namespace datatest
