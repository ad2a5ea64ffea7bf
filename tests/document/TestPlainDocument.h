// What the plain document's tests share: the engine's start-up for a document with its log, a folder of their
// own for data files, file helpers, and an element to embed in texts.
#pragma once

#include "document/elements/unDocument.h"
#include "document/model/diCanvas.h"
#include "document/model/diSounds.h"
#include "document/model/diVisualElement.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

// A small embedded element with a value "Text"; it can be disabled and stores no position, so a saved text does
// not depend on where layout put it.
class TTestEmbedded : public TVisualElement {
 public:
  static const TElementClassInfo ClassInfo;
  TElementClass ClassRef() const override { return &ClassInfo; }
  explicit TTestEmbedded(TScheme* AScheme);

  std::u16string Text;

  bool CalcHasValue() override { return !Text.empty(); }
  void LoadFromKnot(TSchemeLoader* ALoader, TKnot* AKnot) override;
  void SaveToKnot(TSchemeSaver* ASaver, TKnot* AKnot) override;
};

class TPlainDocumentFixture : public ::testing::Test {
 public:
  static void WriteBytes(const std::u16string& AFileName, const std::string& ABytes);
  static std::string ReadBytes(const std::u16string& AFileName);
  // Sets the last-write time ADays before now.
  static void SetAgeDays(const std::u16string& AFileName, double ADays);
  // Seconds since the last write.
  static double AgeSeconds(const std::u16string& AFileName);
  // The document tree as the data file would hold it.
  static std::u16string SaveText(TPlainDocument& ADocument);

 protected:
  TPlainDocumentFixture();
  ~TPlainDocumentFixture() override;

  // A name in the test's own folder.
  std::u16string Path(std::u16string_view AName) const;
  // A document loaded from AFileName, laid out on a view of 600 x 400.
  std::unique_ptr<TPlainDocument> Open(const std::u16string& AFileName);

  TSheetSettings Settings{nullptr};
  std::u16string Folder;

 private:
  TSoundPlayer FPreviousSounds;
};
