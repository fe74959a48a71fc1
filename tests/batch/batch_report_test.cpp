// JSON strings of the batch report: the file's and the database's bytes,
// whatever their encoding, always come out as valid JSON in UTF-8.

#include <gtest/gtest.h>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "batch/batch_report.h"
#include "tests/support/temp_folder.h"

namespace imp {
namespace {

TEST(BatchReport, JsonText) {
  struct Case {
    std::string bytes;
    std::string json;
  };
  const Case cases[] = {
      {"", "\"\""},
      {"FE 12", "\"FE 12\""},
      {"a\"b\\c", "\"a\\\"b\\\\c\""},
      {"uno\r\ndos\tfin", "\"uno\\r\\ndos\\tfin\""},
      {std::string("x\0y", 3) + "\x1f\x7f", "\"x\\u0000y\\u001f\\u007f\""},
      // Valid UTF-8 goes as it is.
      {"Compañía €", "\"Compañía €\""},
      // Windows-1252: Latin-1 above 0xA0, its own table below.
      {"Compa\xF1\xED" "a", "\"Compa\\u00f1\\u00eda\""},
      {"\x80 \x92\x85\x9F", "\"\\u20ac \\u2019\\u2026\\u0178\""},
      {"\x81\x8D\x8F\x90\x9D", "\"\\u0081\\u008d\\u008f\\u0090\\u009d\""},
      // The system's UTF-8 words and the file's Windows-1252 bytes in one
      // text: each read as what it is.
      {"Artículo no válido: 'NI\xD1O'", "\"Artículo no válido: 'NI\\u00d1O'\""},
      {"\xC3\xB1 \xE9", "\"ñ \\u00e9\""},
      // Forms that look like UTF-8 but are not.
      {"\xC0\xAF", "\"\\u00c0\\u00af\""},          // overlong "/"
      {"\xED\xA0\x80", "\"\\u00ed\\u00a0\\u20ac\""},  // surrogate
      {"ab\xE2\x82", "\"ab\\u00e2\\u201a\""},       // cut short
  };
  for (const Case& test_case : cases) {
    SCOPED_TRACE(test_case.json);
    const std::string json = BatchReport::JsonText(test_case.bytes);
    EXPECT_EQ(json, test_case.json);
    // Whatever went in, a JSON reader takes it.
    QJsonParseError error;
    const QJsonDocument doc =
        QJsonDocument::fromJson(QByteArray::fromStdString("{\"t\": " + json + "}"), &error);
    EXPECT_EQ(error.error, QJsonParseError::NoError) << json;
  }
  // What a JSON reader gets back is the text as the window would show it.
  const QJsonDocument doc = QJsonDocument::fromJson(
      QByteArray::fromStdString("{\"t\": " + BatchReport::JsonText("Pe\xF1" "a \x80") + "}"));
  EXPECT_EQ(doc.object().value("t").toString(), QString::fromUtf8("Peña €"));
}

// The report while the run goes on: a whole document at every rewrite, not
// ended yet, with what was settled so far; rewrites are needed only after
// an event.
TEST(BatchReport, WhileRunningAndAtTheEnd) {
  const testing::TempFolder folder("informe");
  const std::string dir = folder.path();
  const std::string path = dir + "/informe.json";
  auto read = [&path] {
    std::ifstream in(path, std::ios::binary);
    const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    QJsonParseError error;
    const QJsonDocument doc = QJsonDocument::fromJson(QByteArray::fromStdString(text), &error);
    EXPECT_EQ(error.error, QJsonParseError::NoError) << text;
    return doc.object();
  };
  BatchRunInfo run{"pedidos.csv", "01", "srv:/base/datos/01/norvela.fdb", "SYSDBA",
                       "2026-12-09T17:40:01-05:00", "", 0};
  BatchReport report;
  report.Write(path, {false, run, "en_curso", "", -1, -1});
  QJsonObject root = read();
  EXPECT_EQ(root.value("fin").toString(), "en_curso");
  EXPECT_TRUE(root.value("termino").isNull());
  EXPECT_TRUE(root.value("estado_salida").isNull());
  EXPECT_TRUE(root.value("senal").isNull());
  EXPECT_EQ(root.value("compania").toString(), "01");
  EXPECT_FALSE(report.changed());

  LinePosition l1{1, 0, 5}, l2{2, 6, 5}, l3{3, 12, 5};
  report.OnOrderWritten({"FE", "1", "41", 2, {}, {}, {l1, l2}});
  EXPECT_TRUE(report.changed());
  report.Write(path, {false, run, "en_curso", "", -1, -1});
  EXPECT_FALSE(report.changed());
  root = read();
  EXPECT_EQ(root.value("totales").toObject().value("pedidos_grabados").toInt(), 1);
  EXPECT_EQ(root.value("totales").toObject().value("lineas_leidas").toInt(), 2);

  report.OnInterrupted("falla", {l3});
  run.ended = "2026-12-09T17:40:03-05:00";
  run.signal = SIGTERM;
  report.Write(path, {false, run, "interrumpida", "", 143, 3});
  root = read();
  EXPECT_EQ(root.value("fin").toString(), "interrumpida");
  EXPECT_EQ(root.value("senal").toString(), "SIGTERM");
  EXPECT_EQ(root.value("estado_salida").toInt(), 143);
  EXPECT_EQ(root.value("termino").toString(), "2026-12-09T17:40:03-05:00");
  EXPECT_EQ(root.value("totales").toObject().value("lineas_leidas").toInt(), 3);
  EXPECT_EQ(root.value("lineas_cortadas").toArray().size(), 1);
}

}  // namespace
}  // namespace imp
