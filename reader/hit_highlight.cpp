#include "reader/hit_highlight.h"

#include <QJsonArray>
#include <QJsonDocument>

namespace novel {

namespace {

// The separators of the index's cut (library/fulltext.cpp), as a script character class.
constexpr const char* kScript = R"js(
(function (query) {
  var sep = /[\s\u0080-\u00bf\u2000-\u206f\u2190-\u2bff\u3000-\u303f\ufe10-\ufe1f\ufe30-\ufe6f\ufeff\uff00-\uff0f\uff1a-\uff20\uff3b-\uff40\uff5b-\uff65\ufff0-\uffff!-\/:-@\[-`{-~]/;
  function lower(ch) { return ch >= 'A' && ch <= 'Z' ? ch.toLowerCase() : ch; }
  var want = [];
  for (var ch of query) if (!sep.test(ch)) want.push(lower(ch));
  if (!want.length) return 0;
  var chars = [], where = [];
  document.querySelectorAll('p[id^="p"]').forEach(function (p) {
    var walker = document.createTreeWalker(p, NodeFilter.SHOW_TEXT);
    for (var node; (node = walker.nextNode());) {
      var text = node.data;
      for (var i = 0; i < text.length;) {
        var c = String.fromCodePoint(text.codePointAt(i));
        if (!sep.test(c)) { chars.push(lower(c)); where.push([node, i, c.length]); }
        i += c.length;
      }
    }
  });
  var at = -1;
  for (var s = 0; s + want.length <= chars.length && at < 0; ++s) {
    var k = 0;
    while (k < want.length && chars[s + k] === want[k]) ++k;
    if (k === want.length) at = s;
  }
  if (at < 0) return 0;
  var pieces = [];
  for (var j = at; j < at + want.length; ++j) {
    var w = where[j], last = pieces[pieces.length - 1];
    if (last && last.node === w[0]) last.end = w[1] + w[2];
    else pieces.push({node: w[0], start: w[1], end: w[1] + w[2]});
  }
  var marks = pieces.map(function (piece) {
    var range = document.createRange();
    range.setStart(piece.node, piece.start);
    range.setEnd(piece.node, piece.end);
    var mark = document.createElement('mark');
    mark.className = 'fulltext-hit';
    range.surroundContents(mark);
    return mark;
  });
  marks[0].scrollIntoView({block: 'center'});
  return marks.length;
})(%1[0]);
)js";

}  // namespace

QString hitHighlightScript(const QString& query) {
    // The query goes in as a JSON string: nothing the user typed becomes script.
    const QString literal =
        QString::fromUtf8(QJsonDocument(QJsonArray{query}).toJson(QJsonDocument::Compact));
    return QString::fromUtf8(kScript).arg(literal);
}

}  // namespace novel
