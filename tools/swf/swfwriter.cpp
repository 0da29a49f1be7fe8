#include "swfwriter.h"

#include <QPolygon>
#include <QtEndian>

#include <cmath>

namespace {
// Bit fields as the format packs them: most significant bit first, each
// structure starting on a byte.
class Bits
{
public:
    void put(quint32 value, int count)
    {
        for (int i = count - 1; i >= 0; --i) {
            m_byte = quint8((m_byte << 1) | ((value >> i) & 1));
            if (++m_used == 8)
                flush();
        }
    }
    void putSigned(qint32 value, int count) { put(quint32(value) & ((count == 32) ? 0xFFFFFFFFu : ((1u << count) - 1)), count); }
    QByteArray take()
    {
        if (m_used > 0) {
            m_byte = quint8(m_byte << (8 - m_used));
            flush();
        }
        return std::exchange(m_bytes, QByteArray());
    }

    // Bits a signed field needs for every value given.
    static int signedBits(std::initializer_list<qint32> values)
    {
        int bits = 1;
        for (qint32 v : values) {
            int n = 1;
            while (v < -(1 << (n - 1)) || v >= (1 << (n - 1)))
                ++n;
            bits = qMax(bits, n);
        }
        return bits;
    }

private:
    void flush()
    {
        m_bytes.append(char(m_byte));
        m_byte = 0;
        m_used = 0;
    }

    QByteArray m_bytes;
    quint8 m_byte = 0;
    int m_used = 0;
};

constexpr int twips = 20;

void u8(QByteArray &out, int v) { out.append(char(v & 0xFF)); }
void u16(QByteArray &out, int v) { u8(out, v); u8(out, v >> 8); }
void u32(QByteArray &out, quint32 v) { u16(out, int(v & 0xFFFF)); u16(out, int(v >> 16)); }
void text(QByteArray &out, const QString &s) { out.append(s.toUtf8()); out.append('\0'); }
void rgb(QByteArray &out, const QColor &c) { u8(out, c.red()); u8(out, c.green()); u8(out, c.blue()); }
void rgba(QByteArray &out, const QColor &c) { rgb(out, c); u8(out, c.alpha()); }

QByteArray rect(const QRect &r)
{
    const qint32 values[] = {r.left() * twips, (r.left() + r.width()) * twips, r.top() * twips,
                             (r.top() + r.height()) * twips};
    const int n = Bits::signedBits({values[0], values[1], values[2], values[3]});
    Bits bits;
    bits.put(quint32(n), 5);
    for (qint32 v : values)
        bits.putSigned(v, n);
    return bits.take();
}

QByteArray translation(const QPoint &at)
{
    const qint32 x = at.x() * twips, y = at.y() * twips;
    Bits bits;
    bits.put(0, 1); // no scale
    bits.put(0, 1); // no rotation
    const int n = (x == 0 && y == 0) ? 0 : Bits::signedBits({x, y});
    bits.put(quint32(n), 5);
    bits.putSigned(x, n);
    bits.putSigned(y, n);
    return bits.take();
}
} // namespace

// --- AvmCode ---------------------------------------------------------------

AvmCode &AvmCode::action(quint8 code, const QByteArray &payload)
{
    u8(m_code, code);
    if (code >= 0x80) {
        u16(m_code, int(payload.size()));
        m_code.append(payload);
    }
    return *this;
}

AvmCode &AvmCode::push(const QString &value)
{
    QByteArray p;
    u8(p, 0);
    text(p, value);
    return action(0x96, p);
}

AvmCode &AvmCode::push(int number)
{
    QByteArray p;
    u8(p, 7);
    u32(p, quint32(number));
    return action(0x96, p);
}

AvmCode &AvmCode::pushUndefined() { return action(0x96, QByteArray(1, char(3))); }
AvmCode &AvmCode::getVariable() { return action(0x1C); }
AvmCode &AvmCode::setVariable() { return action(0x1D); }
AvmCode &AvmCode::getMember() { return action(0x4E); }
AvmCode &AvmCode::setMember() { return action(0x4F); }
AvmCode &AvmCode::callMethod() { return action(0x52); }
AvmCode &AvmCode::callFunction() { return action(0x3D); }
AvmCode &AvmCode::pop() { return action(0x17); }
AvmCode &AvmCode::add() { return action(0x47); }
AvmCode &AvmCode::equals() { return action(0x49); }
AvmCode &AvmCode::logicalNot() { return action(0x12); }
AvmCode &AvmCode::newObject() { return action(0x40); }
AvmCode &AvmCode::play() { return action(0x06); }
AvmCode &AvmCode::stop() { return action(0x07); }

AvmCode &AvmCode::getProperty(int index)
{
    push(QString()); // the timeline the code runs on
    push(index);
    return action(0x22);
}

AvmCode &AvmCode::pushUrlQuery()
{
    // _url.substr(_url.indexOf("?") + 1)
    push(QStringLiteral("?")).push(1).getProperty(15).push(QStringLiteral("indexOf")).callMethod();
    push(1).add();
    return push(1).getProperty(15).push(QStringLiteral("substr")).callMethod();
}

AvmCode &AvmCode::getUrl(const QString &url, const QString &target)
{
    QByteArray p;
    text(p, url);
    text(p, target);
    return action(0x83, p);
}

AvmCode &AvmCode::getUrlFromStack(bool loadVariables, bool targetIsSprite)
{
    // The method (none) in the low bits, the two flags in the high ones.
    return action(0x9A, QByteArray(1, char((targetIsSprite ? 0x40 : 0) | (loadVariables ? 0x80 : 0))));
}

AvmCode &AvmCode::gotoFrame(int frame)
{
    QByteArray p;
    u16(p, frame);
    return action(0x81, p);
}

AvmCode &AvmCode::label(const QString &name)
{
    m_labels.append({name, int(m_code.size())});
    return *this;
}

AvmCode &AvmCode::branch(quint8 code, const QString &label)
{
    action(code, QByteArray(2, '\0'));
    m_branches.append({int(m_code.size()) - 2, label});
    return *this;
}

AvmCode &AvmCode::jumpIf(const QString &label) { return branch(0x9D, label); }
AvmCode &AvmCode::jump(const QString &label) { return branch(0x99, label); }

AvmCode &AvmCode::defineFunction(const QString &name, const QStringList &parameters, const AvmCode &body)
{
    const QByteArray code = body.body();
    QByteArray p;
    text(p, name);
    u16(p, int(parameters.size()));
    for (const QString &parameter : parameters)
        text(p, parameter);
    u16(p, int(code.size())); // the body follows the action
    action(0x9B, p);
    m_code.append(code);
    return *this;
}

QByteArray AvmCode::bytes() const
{
    return body() + '\0';
}

QByteArray AvmCode::body() const
{
    QByteArray code = m_code;
    for (const auto &[at, name] : m_branches) {
        for (const auto &[labelName, target] : m_labels) {
            if (labelName != name)
                continue;
            // Offsets count from the end of the branch action.
            const qint16 offset = qint16(target - (at + 2));
            code[at] = char(offset & 0xFF);
            code[at + 1] = char((offset >> 8) & 0xFF);
        }
    }
    return code;
}

// --- SwfWriter -------------------------------------------------------------

SwfWriter::SwfWriter(int width, int height, int frameRate, int version)
    : m_version(version)
    , m_frame(0, 0, width, height)
    , m_frameRate(frameRate)
{
    // FileAttributes: script version 1/2, network access for a local movie.
    QByteArray attributes;
    u32(attributes, 0x01);
    tag(69, attributes);
}

void SwfWriter::tag(int code, const QByteArray &body)
{
    if (body.size() < 0x3F) {
        u16(m_tags, (code << 6) | int(body.size()));
    } else {
        u16(m_tags, (code << 6) | 0x3F);
        u32(m_tags, quint32(body.size()));
    }
    m_tags.append(body);
}

void SwfWriter::setBackground(const QColor &color)
{
    QByteArray body;
    rgb(body, color);
    tag(9, body);
}

int SwfWriter::defineRect(const QRect &r, const QColor &fill)
{
    return definePolygon(QPolygon({r.topLeft(), QPoint(r.left() + r.width(), r.top()),
                                   QPoint(r.left() + r.width(), r.top() + r.height()), QPoint(r.left(), r.top() + r.height())}),
                         fill);
}

int SwfWriter::definePolygon(const QPolygon &points, const QColor &fill)
{
    const QRect r = points.boundingRect();
    const int id = m_nextId++;
    QByteArray body;
    u16(body, id);
    body.append(rect(r));
    u8(body, 1); // one fill style: solid
    u8(body, 0x00);
    rgba(body, fill);
    u8(body, 0); // no line styles

    Bits bits;
    bits.put(1, 4); // fill index bits
    bits.put(0, 4); // line index bits
    // Move to the first point with fill style 1 on the left of the edges.
    const qint32 x = points.first().x() * twips, y = points.first().y() * twips;
    const int moveBits = Bits::signedBits({x, y});
    bits.put(0, 1);          // style change record
    bits.put(0b00101, 5);    // new styles no, line no, fill1 yes, fill0 no, move yes
    bits.put(quint32(moveBits), 5);
    bits.putSigned(x, moveBits);
    bits.putSigned(y, moveBits);
    bits.put(1, 1); // fill style 1
    for (int i = 0; i < points.size(); ++i) {
        const QPoint delta = points.at((i + 1) % points.size()) - points.at(i);
        const qint32 dx = delta.x() * twips, dy = delta.y() * twips;
        if (dx == 0 && dy == 0)
            continue;
        const int n = qMax(2, Bits::signedBits({dx, dy}));
        bits.put(1, 1);          // edge record
        bits.put(1, 1);          // straight
        bits.put(quint32(n - 2), 4);
        if (dx != 0 && dy != 0) {
            bits.put(1, 1);      // general line
            bits.putSigned(dx, n);
            bits.putSigned(dy, n);
        } else {
            bits.put(0, 1);
            bits.put(dx == 0 ? 1 : 0, 1); // vertical or horizontal
            bits.putSigned(dx == 0 ? dy : dx, n);
        }
    }
    bits.put(0, 6); // end of shape
    body.append(bits.take());
    tag(32, body); // DefineShape3 (colours with alpha)
    return id;
}

int SwfWriter::defineText(const QRect &r, const QString &html, const QString &variable)
{
    const int id = m_nextId++;
    QByteArray body;
    u16(body, id);
    body.append(rect(r));
    u8(body, 0x80 | 0x40 | 0x20 | 0x08); // has text, word wrap, multiline, read-only
    u8(body, 0x10 | 0x02);               // no selection, HTML; device font
    text(body, variable);
    text(body, html);
    tag(37, body); // DefineEditText
    return id;
}

int SwfWriter::defineButton(const QList<int> &faces, const AvmCode &onRelease)
{
    const int id = m_nextId++;
    QByteArray records;
    for (int i = 0; i < faces.size(); ++i) {
        u8(records, 0x0F); // in every state: up, over, down, hit area
        u16(records, faces.at(i));
        u16(records, i + 1);
        records.append(translation(QPoint()));
        u8(records, 0x00); // colour transform without terms
    }
    u8(records, 0x00); // end of records

    QByteArray body;
    u16(body, id);
    u8(body, 0x00); // push button
    u16(body, 2 + int(records.size()));
    body.append(records);
    u16(body, 0); // the last (and only) condition
    u8(body, 0x08); // over-down to over-up: released on the button
    u8(body, 0x00);
    body.append(onRelease.bytes());
    tag(34, body); // DefineButton2
    return id;
}

int SwfWriter::defineTone(int hertz, int milliseconds)
{
    const int id = m_nextId++;
    const int rate = 22050;
    const int samples = rate * milliseconds / 1000;
    QByteArray body;
    u16(body, id);
    u8(body, (3 << 4) | (2 << 2) | (1 << 1) | 0); // raw little-endian, 22 kHz, 16 bits, mono
    u32(body, quint32(samples));
    for (int i = 0; i < samples; ++i)
        u16(body, int(std::lround(12000 * std::sin(2 * M_PI * hertz * i / rate))));
    tag(14, body); // DefineSound
    return id;
}

void SwfWriter::place(int character, int depth, const QPoint &at)
{
    QByteArray body;
    u8(body, 0x06); // has character, has matrix
    u16(body, depth);
    u16(body, character);
    body.append(translation(at));
    tag(26, body); // PlaceObject2
}

void SwfWriter::startSound(int sound, int loops)
{
    QByteArray body;
    u16(body, sound);
    u8(body, 0x04); // has loop count
    u16(body, loops);
    tag(15, body);
}

void SwfWriter::doAction(const AvmCode &code)
{
    tag(12, code.bytes());
}

void SwfWriter::showFrame()
{
    tag(1, QByteArray());
    ++m_frames;
}

QByteArray SwfWriter::finish()
{
    tag(0, QByteArray()); // end
    QByteArray header("FWS");
    u8(header, m_version);
    u32(header, 0); // file length, below
    header.append(rect(m_frame));
    u16(header, m_frameRate << 8);
    u16(header, m_frames);
    QByteArray movie = header + m_tags;
    qToLittleEndian<quint32>(quint32(movie.size()), movie.data() + 4);
    return movie;
}

QByteArray SwfWriter::compressed(const QByteArray &movie)
{
    // qCompress puts the length in front of the zlib stream.
    return "CWS" + movie.mid(3, 5) + qCompress(movie.mid(8), 9).mid(4);
}
