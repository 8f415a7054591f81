#pragma once
// A print job of one page, through Qt Print Support.

#include <QSizeF>
#include <QString>
#include <functional>
#include <memory>

class QPainter;
class QPrinter;
class QRectF;

namespace gv {

class PrintJob final {
public:
    ~PrintJob();
    PrintJob(const PrintJob&) = delete;
    PrintJob& operator=(const PrintJob&) = delete;

    // A printer that writes a PDF file, on A4 paper.
    static std::unique_ptr<PrintJob> toPdfFile(const QString& path);

    // Set before the first drawing.
    void setLandscape(bool landscape);
    bool landscape() const;
    // The page's printable area in HIMETRIC (hundredths of a millimetre).
    QSizeF printableHimetric() const;
    // Draws with the target's top-left corner at the printable area's, the target's size given
    // in HIMETRIC; draw paints into the target (in the painter's units).
    void draw(QSizeF sizeHimetric, const std::function<void(QPainter&, const QRectF&)>& draw);
    // Ends the job; false when the printer did not take it.
    bool finish();

private:
    explicit PrintJob(std::unique_ptr<QPrinter> printer);
    std::unique_ptr<QPrinter> m_printer;
    std::unique_ptr<QPainter> m_painter;
};

}  // namespace gv
