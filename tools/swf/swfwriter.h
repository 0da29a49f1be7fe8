#ifndef SWFWRITER_H
#define SWFWRITER_H

#include <QByteArray>
#include <QColor>
#include <QList>
#include <QPolygon>
#include <QRect>
#include <QString>
#include <QStringList>

// Byte code for the Flash Player's first script machine (ActionScript 1 and 2),
// as frames and buttons carry it. Each call appends one action; labels and
// jumps are resolved when the code is taken.
class AvmCode
{
public:
    AvmCode &push(const QString &text);
    AvmCode &push(int number);
    AvmCode &pushUndefined();
    AvmCode &getVariable();              // name -> value
    AvmCode &setVariable();              // name, value ->
    AvmCode &getMember();                // object, name -> value
    AvmCode &setMember();                // object, name, value ->
    AvmCode &callMethod();               // args..., count, object, name -> result
    AvmCode &callFunction();             // args..., count, name -> result
    AvmCode &pop();
    AvmCode &add();                      // numbers added, texts joined
    AvmCode &equals();
    AvmCode &logicalNot();
    AvmCode &getProperty(int index);     // the current timeline's property, e.g. 15 (_url)
    AvmCode &pushUrlQuery();             // -> what follows the first "?" of the movie's own URL
    AvmCode &getUrl(const QString &url, const QString &target);
    AvmCode &getUrlFromStack(bool loadVariables, bool targetIsSprite); // url, target ->
    AvmCode &gotoFrame(int frame);       // counted from 0
    AvmCode &play();
    AvmCode &stop();
    AvmCode &newObject();                // args..., count, class name -> object
    // A function (name empty: pushed as a value, for handlers) whose
    // parameters are local variables of its body.
    AvmCode &defineFunction(const QString &name, const QStringList &parameters, const AvmCode &body);
    AvmCode &label(const QString &name);
    AvmCode &jumpIf(const QString &label); // condition ->
    AvmCode &jump(const QString &label);

    // The code with its jumps resolved and the closing end action.
    QByteArray bytes() const;
    // Without the end action: code that goes inside other code.
    QByteArray body() const;

private:
    AvmCode &action(quint8 code, const QByteArray &payload = QByteArray());
    AvmCode &branch(quint8 code, const QString &label);

    QByteArray m_code;
    QList<QPair<int, QString>> m_branches; // where a branch's offset goes, and its label
    QList<QPair<QString, int>> m_labels;
};

// Writes a Flash movie (an uncompressed SWF file): shapes, text fields,
// buttons, sounds and frame scripts. What the client's tests and demo play.
class SwfWriter
{
public:
    SwfWriter(int width, int height, int frameRate = 24, int version = 8);

    void setBackground(const QColor &color);
    int defineRect(const QRect &rect, const QColor &fill);
    // A closed shape through the points, in pixels.
    int definePolygon(const QPolygon &points, const QColor &fill);
    // A text field in the player's own sans-serif font; HTML allowed. With a
    // variable name it shows that variable of the timeline.
    int defineText(const QRect &rect, const QString &html, const QString &variable = QString());
    // A button shown as the characters given (shapes, a label) that runs
    // `onRelease` when clicked.
    int defineButton(const QList<int> &faces, const AvmCode &onRelease);
    // A tone of the given frequency: 16-bit mono samples at 22,050 Hz.
    int defineTone(int hertz, int milliseconds);

    void place(int character, int depth, const QPoint &at = QPoint());
    void startSound(int sound, int loops = 1);
    void doAction(const AvmCode &code);
    void showFrame();

    QByteArray finish();
    // The movie as a compressed ("CWS") file: its header as it is, the rest
    // zlib-compressed. The length in the header stays the uncompressed one's.
    static QByteArray compressed(const QByteArray &movie);

private:
    void tag(int code, const QByteArray &body);

    int m_version;
    QRect m_frame;
    int m_frameRate;
    int m_frames = 0;
    int m_nextId = 1;
    QByteArray m_tags;
};

#endif // SWFWRITER_H
