#pragma once

#include <QAccessibleWidget>
#include <QHash>

class QAbstractScrollArea;

// What screen readers get of a view that draws its own rows: a list whose
// children are its rows, each with its text and whether it is selected, as a
// list view offers them. Row objects are made when asked for and keyed by the
// row's number, so one keeps meaning its line as others come and go. A view's
// own interface says where its rows are and what each reads.
class RowListAccessible : public QAccessibleWidget {
public:
    explicit RowListAccessible(QAbstractScrollArea* view);
    ~RowListAccessible() override;

    // Makes every View answer with an Accessible (once per program).
    template <class Accessible, class View> static void install() {
        static bool installed = false;
        if (!installed)
            QAccessible::installFactory(
                [](const QString& className, QObject* object) -> QAccessibleInterface* {
                    if (className == QLatin1String(View::staticMetaObject.className()) && object &&
                        object->isWidgetType())
                        return new Accessible(static_cast<View*>(object));
                    return nullptr;
                });
        installed = true;
    }
    // Tell assistive tools, when one listens, what changed in the view.
    static void rowsChanged(QWidget* view, QAccessibleTableModelChangeEvent::ModelChangeType type,
                            qint64 first, qint64 last);
    static void currentChanged(QWidget* view, qint64 row);

    // The row the row numbered number stands at now, -1 once it is not shown.
    virtual qint64 rowOf(qint64 number) const = 0;
    virtual qint64 shownRows() const = 0;
    // The number of the row at index, -1 past the rows.
    virtual qint64 numberAt(int index) const = 0;
    virtual QString rowText(qint64 row) const = 0;
    // In the viewport.
    virtual QRect rowRect(qint64 row) const = 0;
    virtual qint64 rowAt(int y) const = 0;
    virtual bool isSelected(qint64 number, qint64 row) const = 0;
    virtual qint64 currentRow() const = 0;

    QAbstractScrollArea* scrollArea() const;
    int childCount() const override;
    QAccessibleInterface* child(int index) const override;
    int indexOfChild(const QAccessibleInterface* child) const override;
    QAccessibleInterface* childAt(int x, int y) const override;

private:
    mutable QHash<qint64, QAccessible::Id> m_rows;
};
