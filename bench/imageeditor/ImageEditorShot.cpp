// Shows the image editor (and, with "markup", its markup sheet) over a generated photo for a look
// at them (not a test): run under xvfb-run and take a screenshot, or pass an output path to
// write the window itself. Modes: editor, markup, failed, dark, and save, which saves the edit
// with markup through the Save button and writes the saved file to the output path.
#include "EditorScenes.h"

#include "editor/ImageEditSession.h"
#include "imageeditor/MarkupCanvas.h"
#include "imageeditor/VeskImageEditor.h"
#include "imageeditor/VeskMarkupEditor.h"
#include "platform/ui/Theme.h"

#include <QApplication>
#include <QFile>
#include <QLineEdit>
#include <QTemporaryDir>
#include <QTimer>

using namespace vesk;

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    const QString mode = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral("editor");
    const QString output = argc > 2 ? QString::fromLocal8Bit(argv[2]) : QString();
    if (mode == QLatin1String("dark"))
        Theme::current().setAppearance(Appearance::Dark);
    app.setPalette(Theme::current().palette());

    QTemporaryDir folder;
    const QString path = folder.filePath(QStringLiteral("Harbour.jpg"));
    bench::makeScenePicture(QSize(3000, 2000)).save(path, "JPEG", 90);
    VeskItem item;
    item.id = QUuid::createUuid();
    item.title = QStringLiteral("Harbour");
    item.kind = VeskKind::Image;
    item.filePath = mode == QLatin1String("failed") ? folder.filePath(QStringLiteral("missing.jpg")) : path;

    VeskImageEditor editor(item, [&](const QByteArray& data, const QString&) {
        if (mode != QLatin1String("save") || output.isEmpty())
            return true;
        QFile file(output);
        const bool written = file.open(QIODevice::WriteOnly) && file.write(data) == data.size();
        QTimer::singleShot(0, &app, &QApplication::quit);
        return written;
    });
    editor.resize(1240, 800);
    editor.show();

    QObject::connect(&editor.session(), &ImageEditSession::loaded, &editor, [&] {
        EditSettings settings = editor.settings();
        settings.crop = {0.08, 0.12, 0.1, 0.06};
        settings.colour = {0.05, 1.1, 1.2};
        VeskMarkupElement arrow = makeMarkupElement(VeskMarkupTool::Arrow, QColor(255, 59, 48), 5);
        arrow.start = QPointF(0.2, 0.2);
        arrow.end = QPointF(0.45, 0.5);
        settings.markup = {arrow};
        if (mode == QLatin1String("save")) {
            settings.markup = bench::makeMarkupElements(8);
            settings.quarterTurns = 1;
            settings.flippedHorizontally = true;
        }
        editor.setSettings(settings);
        if (mode == QLatin1String("save"))
            editor.saveEditedVersion();
        if (mode != QLatin1String("markup"))
            return;
        editor.openMarkup();
        auto* markup = qobject_cast<VeskMarkupEditor*>(editor.markupSheet());
        if (!markup)
            return;
        markup->resize(1180, 760);
        MarkupEditorState& state = markup->state();
        state.elements = bench::makeMarkupElements(8);
        state.selectedElementID = state.elements[2].id;
        markup->selectTool(VeskMarkupTool::Text);
        state.selectedElementID = state.elements[2].id;
        state.pendingTextPoint = QPointF(0.55, 0.75);
        state.inlineTextEditing = true;
        state.textDraft = QStringLiteral("Meet here");
        markup->canvas()->refresh();
    });

    if (mode == QLatin1String("save")) {
        QTimer::singleShot(20000, &app, &QApplication::quit);
    } else if (!output.isEmpty()) {
        QTimer::singleShot(2500, &app, [&] {
            QWidget* shown = editor.markupSheet() ? static_cast<QWidget*>(editor.markupSheet()) : &editor;
            shown->grab().save(output);
            app.quit();
        });
    } else {
        QTimer::singleShot(8000, &app, &QApplication::quit);
    }
    return app.exec();
}
