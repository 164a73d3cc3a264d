// SendToPrinter: the rendered PDF written to a file or handed to CUPS as it is.
#include "app/window/paper_print.h"

#include <cups/cups.h>

#include <QPageRanges>
#include <QPrinter>
#include <QTemporaryFile>
#include <string>

#include "app/window/paper_render.h"
#include "base/error.h"
#include "base/messages.h"

namespace picsheet {
namespace {

// The options of one CUPS job, freed with it.
class JobOptions {
 public:
  JobOptions() = default;
  ~JobOptions() { cupsFreeOptions(count_, options_); }
  JobOptions(const JobOptions&) = delete;
  JobOptions& operator=(const JobOptions&) = delete;

  void Add(const char* name, const std::string& value) {
    count_ = cupsAddOption(name, value.c_str(), count_, &options_);
  }
  int count() const { return count_; }
  cups_option_t* options() const { return options_; }

 private:
  int count_ = 0;
  cups_option_t* options_ = nullptr;
};

const char* Sides(QPrinter::DuplexMode duplex) {
  switch (duplex) {
    case QPrinter::DuplexLongSide:
      return "two-sided-long-edge";
    case QPrinter::DuplexShortSide:
      return "two-sided-short-edge";
    default:
      return "one-sided";
  }
}

}  // namespace

void SendToPrinter(const QByteArray& pdf, QPrinter& printer) {
  if (printer.outputFormat() == QPrinter::PdfFormat) {
    WritePdf(printer.outputFileName(), pdf);
    return;
  }
  // The engine's own print path rasterises every page; CUPS takes the PDF as it is. The PDF's
  // pages already have the dialog's paper and margins, so the spooler must not fit them again.
  QTemporaryFile file;
  if (!file.open() || file.write(pdf) != pdf.size() || !file.flush()) {
    throw Error(ErrorKind::kOutput, messages::CannotCreateFile(file.fileName().toStdString()));
  }
  JobOptions job;
  job.Add("media", printer.pageLayout().pageSize().key().toStdString());
  job.Add("print-scaling", "none");
  job.Add("fit-to-page", "false");
  job.Add("copies", std::to_string(printer.copyCount()));
  job.Add("sides", Sides(printer.duplex()));
  if (!printer.pageRanges().isEmpty()) {
    job.Add("page-ranges", printer.pageRanges().toString().toStdString());
  }
  const std::string name = printer.printerName().toStdString();
  const std::string title =
      printer.docName().isEmpty() ? std::string("picsheet") : printer.docName().toStdString();
  if (cupsPrintFile(name.c_str(), file.fileName().toLocal8Bit().constData(), title.c_str(),
                    job.count(), job.options()) == 0) {
    throw Error(ErrorKind::kOther, messages::CannotPrintOn(name, cupsLastErrorString()));
  }
}

}  // namespace picsheet
