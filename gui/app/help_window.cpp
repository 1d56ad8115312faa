#include "gui/app/help_window.h"

#include <QFile>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QSplitter>
#include <QTabWidget>
#include <QTextBrowser>
#include <QUrl>
#include <QVBoxLayout>
#include <algorithm>

namespace velmar::gui {
namespace {

constexpr int kContextRole = Qt::UserRole;
constexpr qint64 kMaxHelpBytes = 4 << 20;

}  // namespace

const HelpTopic* HelpFile::Find(int context) const {
  for (const HelpTopic& topic : topics) {
    if (topic.context == context) return &topic;
  }
  return nullptr;
}

bool ParseHelpText(const QString& text, HelpFile& help, QString& error) {
  help.topics.clear();
  const QStringList lines = text.split(u'\n');
  for (qsizetype n = 0; n < lines.size(); ++n) {
    QString line = lines[n];
    if (line.endsWith(u'\r')) line.chop(1);
    if (line.startsWith(QStringLiteral("@topic"))) {
      const QString rest = line.mid(6).trimmed();
      const qsizetype space = rest.indexOf(u' ');
      bool number_ok = false;
      const int context = rest.left(space < 0 ? rest.size() : space).toInt(&number_ok);
      const QString title = space < 0 ? QString() : rest.mid(space + 1).trimmed();
      if (!number_ok || context <= 0 || title.isEmpty()) {
        error = QStringLiteral("строка %1: неверный заголовок раздела").arg(n + 1);
        return false;
      }
      if (help.Find(context) != nullptr) {
        error = QStringLiteral("строка %1: раздел %2 повторяется").arg(n + 1).arg(context);
        return false;
      }
      help.topics.append({context, title, {}, {}});
    } else if (line.startsWith(QStringLiteral("@keywords"))) {
      if (help.topics.isEmpty()) {
        error = QStringLiteral("строка %1: ключевые слова вне раздела").arg(n + 1);
        return false;
      }
      for (const QString& word : line.mid(9).split(u';', Qt::SkipEmptyParts)) {
        if (!word.trimmed().isEmpty()) help.topics.last().keywords.append(word.trimmed());
      }
    } else if (line.startsWith(u'#') || help.topics.isEmpty()) {
      continue;
    } else {
      help.topics.last().html += line + u'\n';
    }
  }
  if (help.topics.isEmpty()) {
    error = QStringLiteral("в файле нет ни одного раздела");
    return false;
  }
  return true;
}

bool LoadHelpFile(const QString& path, HelpFile& help, QString& error) {
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly)) {
    error = QStringLiteral("файл не найден или недоступен");
    return false;
  }
  if (file.size() > kMaxHelpBytes) {
    error = QStringLiteral("файл слишком велик");
    return false;
  }
  const QByteArray bytes = file.readAll();
  const QString text = QString::fromUtf8(bytes);
  // A file that is no UTF-8 text gives replacement characters.
  if (text.contains(QChar::ReplacementCharacter) || bytes.contains('\0')) {
    error = QStringLiteral("файл поврежден");
    return false;
  }
  return ParseHelpText(text, help, error);
}

THelpWindow::THelpWindow(HelpFile help, QWidget* parent)
    : QWidget(parent, Qt::Window), help_(std::move(help)) {
  setWindowTitle(QStringLiteral("Справка Velmar"));

  ContentsList = new QListWidget(this);
  for (const HelpTopic& topic : help_.topics) {
    auto* item = new QListWidgetItem(topic.title, ContentsList);
    item->setData(kContextRole, topic.context);
  }
  connect(ContentsList, &QListWidget::itemActivated, this,
          [this](QListWidgetItem* item) { ShowTopic(item->data(kContextRole).toInt()); });
  connect(ContentsList, &QListWidget::itemClicked, this,
          [this](QListWidgetItem* item) { ShowTopic(item->data(kContextRole).toInt()); });

  auto* search_page = new QWidget(this);
  SearchEdit = new QLineEdit(search_page);
  KeywordList = new QListWidget(search_page);
  auto* search_layout = new QVBoxLayout(search_page);
  search_layout->addWidget(
      new QLabel(QStringLiteral("Введите начало ключевого слова:"), search_page));
  search_layout->addWidget(SearchEdit);
  search_layout->addWidget(KeywordList, 1);
  connect(SearchEdit, &QLineEdit::textChanged, this, &THelpWindow::FilterKeywords);
  connect(SearchEdit, &QLineEdit::returnPressed, this, &THelpWindow::KeywordChosen);
  connect(KeywordList, &QListWidget::itemActivated, this, &THelpWindow::KeywordChosen);
  connect(KeywordList, &QListWidget::itemClicked, this, &THelpWindow::KeywordChosen);

  Tabs = new QTabWidget(this);
  Tabs->addTab(ContentsList, QStringLiteral("Содержание"));
  Tabs->addTab(search_page, QStringLiteral("Поиск"));

  TopicView = new QTextBrowser(this);
  TopicView->setOpenLinks(false);
  connect(TopicView, &QTextBrowser::anchorClicked, this, [this](const QUrl& url) {
    // Links between topics are written "#NUMBER".
    bool ok = false;
    const int context = url.fragment().toInt(&ok);
    if (ok) ShowTopic(context);
  });

  auto* splitter = new QSplitter(this);
  splitter->addWidget(Tabs);
  splitter->addWidget(TopicView);
  splitter->setStretchFactor(1, 1);
  auto* layout = new QHBoxLayout(this);
  layout->setContentsMargins(4, 4, 4, 4);
  layout->addWidget(splitter);
  resize(820, 560);

  FilterKeywords(QString());
  if (!help_.topics.isEmpty()) ShowTopic(help_.topics.first().context);
}

void THelpWindow::ShowContents() {
  Tabs->setCurrentIndex(0);
  show();
  raise();
  activateWindow();
}

void THelpWindow::ShowSearch(const QString& key) {
  Tabs->setCurrentIndex(1);
  SearchEdit->setText(key);
  FilterKeywords(key);
  show();
  raise();
  activateWindow();
  SearchEdit->setFocus();
}

bool THelpWindow::ShowTopic(int context) {
  const HelpTopic* topic = help_.Find(context);
  if (topic == nullptr) return false;
  current_ = context;
  TopicView->setHtml(QStringLiteral("<h2>") + topic->title.toHtmlEscaped() +
                     QStringLiteral("</h2>") + topic->html);
  for (int row = 0; row < ContentsList->count(); ++row) {
    if (ContentsList->item(row)->data(kContextRole).toInt() == context) {
      const QSignalBlocker blocker(ContentsList);
      ContentsList->setCurrentRow(row);
    }
  }
  show();
  raise();
  return true;
}

void THelpWindow::FilterKeywords(const QString& key) {
  KeywordList->clear();
  QList<QPair<QString, int>> entries;
  for (const HelpTopic& topic : help_.topics) {
    for (const QString& word : topic.keywords) {
      if (word.startsWith(key.trimmed(), Qt::CaseInsensitive))
        entries.append({word, topic.context});
    }
  }
  std::sort(entries.begin(), entries.end(), [](const auto& a, const auto& b) {
    return QString::localeAwareCompare(a.first, b.first) < 0;
  });
  for (const auto& [word, context] : entries) {
    auto* item = new QListWidgetItem(word, KeywordList);
    item->setData(kContextRole, context);
  }
  if (KeywordList->count() > 0) KeywordList->setCurrentRow(0);
}

void THelpWindow::KeywordChosen() {
  QListWidgetItem* item = KeywordList->currentItem();
  if (item != nullptr) ShowTopic(item->data(kContextRole).toInt());
}

}  // namespace velmar::gui
