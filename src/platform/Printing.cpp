#include "platform/Printing.h"

#include <QPageLayout>
#include <QPainter>
#include <QPrinter>

namespace gv {

PrintJob::PrintJob(std::unique_ptr<QPrinter> printer) : m_printer(std::move(printer)) {}

PrintJob::~PrintJob() {
    finish();
}

std::unique_ptr<PrintJob> PrintJob::toPdfFile(const QString& path) {
    auto printer = std::make_unique<QPrinter>(QPrinter::HighResolution);
    printer->setOutputFormat(QPrinter::PdfFormat);
    printer->setOutputFileName(path);
    printer->setPageSize(QPageSize(QPageSize::A4));
    return std::unique_ptr<PrintJob>(new PrintJob(std::move(printer)));
}

void PrintJob::setLandscape(bool landscape) {
    m_printer->setPageOrientation(landscape ? QPageLayout::Landscape : QPageLayout::Portrait);
}

bool PrintJob::landscape() const {
    return m_printer->pageLayout().orientation() == QPageLayout::Landscape;
}

QSizeF PrintJob::printableHimetric() const {
    return m_printer->pageLayout().paintRect(QPageLayout::Millimeter).size() * 100.0;
}

void PrintJob::draw(QSizeF sizeHimetric,
                    const std::function<void(QPainter&, const QRectF&)>& paint) {
    if (!m_painter) {
        m_painter = std::make_unique<QPainter>();
        if (!m_painter->begin(m_printer.get())) {
            m_painter.reset();
            return;
        }
    }
    // The painter's origin is the printable area's top-left corner, in device pixels.
    const double perHimetric = m_printer->resolution() / 2540.0;
    paint(*m_painter,
          QRectF(0, 0, sizeHimetric.width() * perHimetric, sizeHimetric.height() * perHimetric));
}

bool PrintJob::finish() {
    if (!m_painter) {
        return m_printer->printerState() != QPrinter::Error;
    }
    const bool ended = m_painter->end();
    m_painter.reset();
    return ended && m_printer->printerState() != QPrinter::Error;
}

}  // namespace gv
