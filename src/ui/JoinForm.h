// The join options dialog: output file, join without recompression, and the
// output settings of a recompressing join, with defaults computed from the
// listed files every time it opens.
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

#include "core/FileInfo.h"
#include "core/JoinCls.h"
#include "core/JoinPlan.h"
#include "ui/EditLib.h"

namespace vantrel::ui {

class TfrmJoin : public QDialog {
  Q_OBJECT
 public:
  // The listed files' probe results, in list order.
  using TFilesProvider = std::function<std::vector<const TVideoFileInfo*>()>;
  TfrmJoin(QWidget* parent, TFilesProvider files);

  // Takes what the plan of the listed files offers, empties the output
  // name, shows the dialog modally; true when it closed with Join.
  bool ShowJoinOptions(const TJoinPlan& plan);
  // The join's request from the dialog's state (files filled by the
  // caller); raises EConvertError for a frame rate that is no number.
  TJoinRequest Request() const;
  // The route the dialog stands for: the check box, and where a copy is
  // impossible a smart join when it applies.
  TJoinRoute RouteShown() const;

  // From the plan: the dialog's three flags, and the rest.
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
  void ComputeDefaults();
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

 private:
  // What in the entries would make the join fail before it starts, and the
  // field to mend; empty when nothing.
  std::string EntryProblem(QWidget*& field) const;
  void ChooseVideoCompressor();
  void ChooseAudioCompressor();
  char Separator() const;
  // The chosen format's encoders (empty for AVI: the compressor lists'),
  // and its muxer.
  struct TFormatChoice {
    QString Label;
    std::string Muxer, Video, Audio;
  };
  const TFormatChoice& Format() const;
  void FillCompressorLists();
  void ApplyFormatDefaults();
  std::vector<TFormatChoice> formats_;
  bool following_ = false;  // the name and the format follow each other

  TFilesProvider files_;
};

}  // namespace vantrel::ui
