// The field set and keyed-rows flow apart from any window: fields declared
// out of column order, and the paths the member windows never take
// (database refusals, a shown row deleted meanwhile).
#include "support/ui.h"
#include "ui/field_set.h"
#include "ui/keyed_rows.h"

using namespace shop;
using namespace shop::test;

namespace {

// guke's eight columns, with the fields declared in another order and the
// address left without a field.
struct Form {
    QWidget window;
    FieldSet* fields;
    RecordView* grid;
    std::unique_ptr<KeyedRows> keyed;

    explicit Form(AppContext& ctx)
    {
        const QStringList columns = ctx.business().columns("guke");
        fields = new FieldSet(ctx, &window, columns,
                              {{"txt_name", "姓名", "姓名"},
                               {"txt_num", "编号", "编号", {}, FieldKind::Line, 0, 1},
                               {"txt_note", "个人分析", "个人分析", {}, FieldKind::Line, 1, 0, 1, Trimmed},
                               {"txt_sex", "性别", "性别", {}, FieldKind::Combo, 1, 1, 1, KeptOnClear},
                               {"txt_tel", "联系电话", "联系电话", {}, FieldKind::Line, 2, 0},
                               {"txt_bron", "出生年月", "出生年月", {}, FieldKind::Line, 2, 1},
                               {"txt_creat", "创建日期", "创建日期", {}, FieldKind::Line, 3, 0}});
        grid = new RecordView(ctx, ctx.business(), "guke", &window);
        grid->refresh();
        keyed = std::make_unique<KeyedRows>(*grid, *fields);
    }
};

QStringList customer(const QString& number, const QString& name, const QString& tel)
{
    return {number, name, "男", "1990-01", tel, "2026-01-01", "", "常客"};
}

} // namespace

class TstKeyedFields : public QObject {
    Q_OBJECT
private slots:
    void valuesFollowColumns();
    void refusedWritesKeepTheFields_data();
    void refusedWritesKeepTheFields();
    void modifyWhenTheShownRowIsGone();
    void shownRowIsCurrent_data();
    void shownRowIsCurrent();
};

void TstKeyedFields::valuesFollowColumns()
{
    TestEnv env;
    Form form(env.ctx());
    form.fields->show({"007", "王五", "女", "1990-01", "555", "2026-01-01", "北京路", " 常客 "});
    QCOMPARE(form.fields->text("txt_num"), QString("007"));
    QCOMPARE(form.fields->text("txt_note"), QString("常客"));
    // A column without a field reads empty, so a row keeps its width.
    QCOMPARE(form.fields->values(),
             QStringList({"007", "王五", "女", "1990-01", "555", "2026-01-01", "", "常客"}));
    form.fields->clear();
    QCOMPARE(form.fields->values(), QStringList({"", "", "女", "", "", "", "", ""}));
}

void TstKeyedFields::refusedWritesKeepTheFields_data()
{
    QTest::addColumn<QString>("trigger");
    QTest::addColumn<bool>("modify");
    QTest::newRow("insert refused") << "BEFORE INSERT ON guke" << false;
    QTest::newRow("update refused") << "BEFORE UPDATE ON guke" << true;
}

void TstKeyedFields::refusedWritesKeepTheFields()
{
    QFETCH(QString, trigger);
    QFETCH(bool, modify);

    TestEnv env;
    env.insert("guke", customer("001", "张三", "111"));
    Form form(env.ctx());
    QVERIFY(
        env.db()
            .exec(
                QString("CREATE TRIGGER refuse %1 BEGIN SELECT RAISE(ABORT, 'disk full'); END").arg(trigger))
            .ok);
    const QStringList typed = customer(modify ? "001" : "002", "李四", "999");
    form.fields->show(typed);

    if (modify)
        QCOMPARE(form.keyed->modify({{"编号"}}), KeyedRows::Modified::Failed);
    else
        QCOMPARE(form.keyed->save({{"编号"}, "请输入完整的数据！", {"编号", "姓名"}, "?", "信息"}),
                 KeyedRows::Saved::Failed);

    QCOMPARE(env.messages().count(), 1);
    QVERIFY(env.messages().last().text.contains("disk full"));
    QCOMPARE(env.rows("guke"), QList<QStringList>{customer("001", "张三", "111")});
    QCOMPARE(form.fields->values(), typed); // kept for another try
}

void TstKeyedFields::modifyWhenTheShownRowIsGone()
{
    TestEnv env;
    env.insert("guke", customer("001", "张三", "111"));
    env.insert("guke", customer("001", "李四", "222"));
    Form form(env.ctx());
    QVERIFY(form.keyed->showStored(2));
    form.fields->setText("txt_tel", "999");
    QVERIFY(env.db().exec("DELETE FROM guke WHERE rowid = 2").ok);

    // The row shown is gone: the first with the typed number takes the change.
    QCOMPARE(form.keyed->modify({{"编号"}}), KeyedRows::Modified::Modified);
    QCOMPARE(env.rows("guke"), QList<QStringList>{customer("001", "李四", "999")});
    QCOMPARE(shownAll(env), QStringList{info("修改成功！")});
    QCOMPARE(form.fields->values(), QStringList({"", "", "男", "", "", "", "", ""}));
}

// A row shown in the fields is the grid's current row, even when the grid's
// source (a search) did not hold it; deleted elsewhere, the fields clear,
// while a deletion of another row leaves them.
void TstKeyedFields::shownRowIsCurrent_data()
{
    QTest::addColumn<QString>("filter");
    QTest::addColumn<int>("deleted");
    QTest::addColumn<bool>("cleared");
    QTest::newRow("in the grid, deleted") << "" << 250 << true;
    QTest::newRow("outside a search, deleted") << "张" << 250 << true;
    QTest::newRow("another row deleted") << "" << 1 << false;
}

void TstKeyedFields::shownRowIsCurrent()
{
    QFETCH(QString, filter);
    QFETCH(int, deleted);
    QFETCH(bool, cleared);

    TestEnv env;
    for (int i = 0; i < 300; ++i)
        env.insert("guke", customer(QString::number(i), i < 2 ? "张三" : "李四", "1"));
    Form form(env.ctx());
    QVERIFY(showActive(&form.window));
    if (!filter.isEmpty())
        form.grid->setSource(RecordSource::all("guke").filter("姓名", Op::Contains, filter));

    QVERIFY(form.keyed->showStored(250));
    QCOMPARE(form.fields->text("txt_num"), QString("249"));
    QVERIFY(form.grid->currentRecord());
    QCOMPARE(form.grid->currentRecord()->rowid, qint64(250));
    QVERIFY(form.grid->selectionModel()->isRowSelected(form.grid->currentIndex().row(), {}));
    // Scrolled into view.
    QVERIFY(form.grid->viewport()->rect().intersects(form.grid->visualRect(form.grid->currentIndex())));

    QVERIFY(env.db().exec("DELETE FROM guke WHERE rowid = ?", {deleted}).ok);
    emit env.ctx().notifier().tableChanged("guke");
    QCOMPARE(form.fields->text("txt_num"), cleared ? QString() : QString("249"));
    QCOMPARE(form.keyed->shown().has_value(), !cleared);
    // The kept row stays current for delete.
    if (!cleared)
        QCOMPARE(form.grid->currentRecord()->rowid, qint64(250));
}

QTEST_MAIN(TstKeyedFields)
#include "tst_keyed_fields.moc"
