// The join options dialog: output file, join without recompression, and the
// output settings of a recompressing join. It renders the join plan: every
// change of the name, the format, the check box or a setting makes the plan
// again from the request the dialog stands for, and the note, the settings
// shown (and which are enabled) and the main window's marks follow it.
#pragma once

#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QToolButton>
#include <functional>
#include <string>
#include <vector>

#include "job/JoinCls.h"
#include "plan/JoinPlan.h"
#include "ui/EditLib.h"

namespace vantrel::ui {

class TfrmJoin : public QDialog {
  Q_OBJECT
 public:
  // The listed files' probe results, in list order.
  using TFilesProvider = std::function<std::vector<const TVideoFileInfo*>()>;
  TfrmJoin(QWidget* parent, TFilesProvider files, const IEncoderCatalog& encoders);

  // Takes what the plan of the listed files offers, empties the output
  // name, shows the dialog modally; true when it closed with Join.
  bool ShowJoinOptions(const TJoinPlan& plan);
  // The join's request from the dialog's state, the listed files in it;
  // raises EConvertError for a frame rate that is no number. A setting
  // shown otherwise than the plan proposes is the user's.
  TJoinRequest Request() const;
  // The route the dialog stands for: the check box, and where a copy is
  // impossible a smart join when it applies.
  TJoinRoute RouteShown() const;

  // From the plan: the dialog's three flags, and the rest. Plan is the
  // plan of the request the dialog shows, made anew at each change.
  bool CanJoinWithoutRecompression = false;
  bool NoAudio = false;
  bool JoinWithoutSound = false;
  TJoinPlan Plan;
  QString FirstFileType;
  std::vector<std::string> VideoCompressors;
  std::vector<std::string> AudioCompressors;
  static QString LastSaveFolder;
  // The output format last chosen (its label), kept in the settings; empty:
  // AVI, as the dialog opens until another is picked once.
  static QString LastOutputFormat;
  // Tests answer the dialog instead of a person: the hook runs in place of
  // the modal loop and returns its result (Accepted or Rejected).
  static std::function<int(TfrmJoin&)> ExecHook;

  QGroupBox* GroupBox1;
  QLineEdit* edtOutFileName;
  QToolButton* sbnSelectOutFile;
  QCheckBox* cbxJoinWORecomp;
  QLabel* lblNotes;
  QGroupBox* gbxOutOptions;
  QComboBox* cbxOutputFormat;
  TNaturalEdit* edtFrameWidth;
  TNaturalEdit* edtFrameHeight;
  QLabel* lblSizeWarning;
  QComboBox* cbxFameRate;
  QComboBox* cbxResizeMethod;
  QComboBox* cbxVideoCompression;
  QPushButton* btnVideoCompOptions;
  QComboBox* cbxAudioCompression;
  QPushButton* btnResetDefaults;
  QPushButton* btnJoin;
  QPushButton* btnCancel;

  // Steps of the dialog, public for the tests that drive it.
  void FormShow();
  void UpdateControls();
  void FillFrameRates();
  // The plan made again from what the dialog shows, and shown: keepSettings
  // false drops the settings the user set (Reset defaults, another format).
  void Replan(bool keepSettings = true);
  void cbxJoinWORecompClick();
  void sbnSelectOutFileClick();
  void btnJoinClick();
  void btnResetDefaultsClick();
  void btnVideoCompOptionsClick();
  void edtFrameWidthChange();
  // A format picked: the output's extension, the compressor lists and the
  // defaults follow it.
  void cbxOutputFormatChange();
  // The output's name edited: its extension picks the format.
  void edtOutFileNameChange();

 signals:
  // Made anew: the main window's marks follow it while the dialog is open.
  void PlanChanged(const vantrel::TJoinPlan& plan);

 private:
  // What in the entries would make the join fail before it starts, and the
  // field to mend; empty when nothing.
  std::string EntryProblem(QWidget*& field) const;
  char Separator() const;
  const TRecompressChoice& Format() const;
  // The format's compressors into the lists (AVI: the catalogue's).
  void FillCompressorLists();
  // The plan's settings into the fields, and which of them are enabled.
  void ShowSettings();
  // The request without the files, with what the user set where asked.
  TJoinRequest RequestShown(bool withSettings) const;
  // The settings of the request the plan was last made from: the user's,
  // kept while the dialog's fields show them.
  TJoinRequest asked_;
  std::vector<TRecompressChoice> formats_;
  bool following_ = false;  // the name and the format follow each other
  TFilesProvider files_;
  const IEncoderCatalog& encoders_;
};

}  // namespace vantrel::ui
