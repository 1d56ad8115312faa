#ifndef VELMAR_GUI_APP_HELP_WINDOW_H_
#define VELMAR_GUI_APP_HELP_WINDOW_H_

#include <QList>
#include <QString>
#include <QStringList>
#include <QWidget>

class QLineEdit;
class QListWidget;
class QTabWidget;
class QTextBrowser;

namespace velmar::gui {

// One topic of the help file.
struct HelpTopic {
  int context = 0;
  QString title;
  QStringList keywords;
  QString html;
};

// The help file: topics in contents order. Its text format is
//   @topic NUMBER Title
//   @keywords word; other word
//   HTML lines of the topic...
// repeated; lines before the first @topic and lines starting with "#" are
// ignored.
struct HelpFile {
  QList<HelpTopic> topics;
  const HelpTopic* Find(int context) const;
};

// Parses the help file's text; false with `error` set when it is damaged.
bool ParseHelpText(const QString& text, HelpFile& help, QString& error);
// Reads and parses the file; false with `error` set on failure.
bool LoadHelpFile(const QString& path, HelpFile& help, QString& error);

// The help viewer: contents, keyword search and the topic text.
class THelpWindow : public QWidget {
  Q_OBJECT

 public:
  explicit THelpWindow(HelpFile help, QWidget* parent = nullptr);

  void ShowContents();
  // Opens the keyword search with the key `key` typed in.
  void ShowSearch(const QString& key = QString());
  // Shows the topic of a context number; false when there is none.
  bool ShowTopic(int context);
  int CurrentTopic() const { return current_; }
  const HelpFile& Help() const { return help_; }

  QTabWidget* Tabs = nullptr;
  QListWidget* ContentsList = nullptr;
  QLineEdit* SearchEdit = nullptr;
  QListWidget* KeywordList = nullptr;
  QTextBrowser* TopicView = nullptr;

 private:
  void FilterKeywords(const QString& key);
  void KeywordChosen();

  HelpFile help_;
  int current_ = 0;
};

}  // namespace velmar::gui

#endif  // VELMAR_GUI_APP_HELP_WINDOW_H_
