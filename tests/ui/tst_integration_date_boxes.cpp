// Every date box that opens filled in: a click into it and a typed date
// leave the typed date, not the two run together.
#include "support/tab_host.h"

using namespace shop;
using namespace shop::test;

class TstDateBoxes : public QObject {
    Q_OBJECT
private slots:
    void typedDateReplacesTheFilledOne_data()
    {
        QTest::addColumn<QString>("window");
        QTest::addColumn<QString>("box");
        const struct {
            const char* window;
            const char* box;
        } boxes[] = {{"frame_jin", "txt_date"},
                     {"Frame_worker", "worker_indate"},
                     {"frame_shouzhi", "txt_shou_date"},
                     {"frame_shouzhi", "txt_from"},
                     {"frame_shouzhi", "txt_to"},
                     {"frm_card", "txt_date"},
                     {"frm_salse", "txt_from"},
                     {"frm_salse", "txt_to"},
                     {"frmgz", "txt_from"},
                     {"frmgz", "txt_to"}};
        for (const auto& b : boxes)
            QTest::addRow("%s %s", b.window, b.box) << b.window << b.box;
    }
    void typedDateReplacesTheFilledOne()
    {
        QFETCH(QString, window);
        QFETCH(QString, box);
        TestEnv env;
        env.ctx().setLogin("ZED", "M");
        const Opened opened = openRegistered(env, window);
        QWidget* w = opened.widget;
        QVERIFY(w);
        QVERIFY(opened.active);
        auto* date = child<QLineEdit>(w, qPrintable(box));
        // Filled in as the window fills it when it opens.
        date->setText("2026-12-07");
        // The person is in another box of the window and clicks into the date.
        QLineEdit* other = nullptr;
        for (QLineEdit* e : w->findChildren<QLineEdit*>())
            if (e != date && e->isVisible() && !e->isReadOnly() &&
                !qobject_cast<QComboBox*>(e->parentWidget()))
                other = other ? other : e;
        QVERIFY(other);
        QTest::mouseClick(other, Qt::LeftButton);
        QTest::mouseClick(date, Qt::LeftButton, {}, date->rect().center());
        QTest::keyClicks(date, "2026-11-30");
        QCOMPARE(date->text(), QString("2026-11-30"));
        env.ctx().windows().closeAll();
    }
};

QTEST_MAIN(TstDateBoxes)
#include "tst_integration_date_boxes.moc"
