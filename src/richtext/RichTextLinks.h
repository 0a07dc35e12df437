#pragma once
// Links in rich text: finding web and e-mail addresses in text (our own patterns), the rules of the
// "Add Link" prompt, and which links a click may hand to the desktop.

#include <QString>
#include <QUrl>
#include <optional>

class QTextDocument;
class QTextCharFormat;

namespace vesk {

template <typename Format>
class FormatRuns;

struct DetectedLink {
    int start = 0;
    int length = 0;
    QUrl url;
};

// The first pass of detectLinks: addresses with a scheme (http, https, ftp, mailto:), plain e-mail
// addresses, and web addresses without a scheme whose host is a domain under any public suffix or
// begins with "www." (www.bbc.co.uk/news, test.com.au:8080/x), those linked to https. Trailing
// sentence punctuation is not part of a link.
QList<DetectedLink> findAddressLinks(const QString& text);
// Bare domains under one of sixteen well-known top-level domains (www.example.com, example.io/path),
// linked to https; never the domain part of an e-mail address.
QList<DetectedLink> findBareDomainLinks(const QString& text);

// Adds links for the addresses found in the text; never removes or replaces an existing link, and
// a match whose first character is already linked is left alone.
void detectLinks(QTextDocument& document);
// The same over runs of either kind of text (QTextCharFormat or RtfRunStyle), `text` being their
// plain text as documentText gives it.
template <typename Format>
void detectLinks(FormatRuns<Format>& runs, const QString& text);

// For text being edited: links that detection made (their address is what detection makes of their
// own text) are brought in line with the text as it is now, so a link found while an address was
// half typed ("example.co") does not keep pointing there once the address is complete. Links the
// user set to another address are left alone.
void refreshDetectedLinks(FormatRuns<QTextCharFormat>& runs, const QString& text);
// The character-format property that marks a link as found by detection rather than set by hand.
inline constexpr int kDetectedLinkProperty = 0x100000 + 41;  // QTextFormat::UserProperty + 41

// What the "Add Link" field starts with: the clipboard text when, trimmed, it is non-empty, has a
// full stop and no space; otherwise empty.
QString addLinkPrefill(const QString& clipboardText);
// The address the user typed as a URL: https:// is put in front when no scheme is given; none for
// an empty entry or a scheme other than http and https.
std::optional<QUrl> addLinkURL(const QString& typed);

// Links in text from other applications may carry any scheme; only these are opened.
bool isOpenableLink(const QUrl& url);

} // namespace vesk
