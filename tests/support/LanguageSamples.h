// Texts of the languages pupils learn, for tests that compose messages and read them back with
// Python's email package: subject, sender's name, body and attachment name must decode to
// these very texts, and the attachment to its bytes.
#pragma once

#include <string>

#include "ExternalTools.h"
#include "TempDirectory.h"

namespace quorvel::testing {

struct LanguageSample {
  const char* language;
  std::string subject;
  std::string senderName;
  std::string body;
  std::string attachmentName;
};

// Long texts make encoded words and name sections continue; the 2000-byte line is beyond SMTP's.
inline const LanguageSample kLanguageSamples[] = {
    {"French", "Exercice de français : les accents é, è, à et ç", "Zoé Lefèvre",
     "Bonjour Madame,\r\nÇa m'a pris du temps — j'espère que c'est juste.\r\n", "résumé élève.txt"},
    {"German", "Übung für Schüler", "Jürgen Groß", "Grüße aus München!\r\nDie Straße ist weiß.\r\n",
     "Übung 1.pdf"},
    {"Russian", "Домашнее задание по грамматике: упражнения с первого по десятое, с объяснениями",
     "Наталья Иванова", "Здравствуйте!\r\nВот моё упражнение.\r\n", "упражнение.docx"},
    {"Greek", "Άσκηση γραμματικής", "Γιώργος Παπαδόπουλος", "Καλημέρα σας!\r\nΙδού η άσκησή μου.\r\n",
     "άσκηση.txt"},
    {"Japanese", "日本語の練習問題について質問があります", "山田 太郎",
     "先生、こんにちは。\r\n宿題を送ります。\r\n", "日本語の練習問題と答えと先生への質問のリスト第一版.pdf"},
    {"Chinese", "关于中文语法练习的问题", "王小明", "老师您好！\r\n这是我的作业。\r\n", "作业.doc"},
    {"Arabic", "تمرين في قواعد اللغة العربية", "محمد العلي", "مرحبا يا أستاذ!\r\nهذا واجبي.\r\n",
     "تمرين.pdf"},
    {"long line", "Long line", "Pupil One", std::string(2000, 'x') + "\r\n", "long.txt"},
};

// The sample's texts and attachment as files of `directory`, read by the check below.
inline void WriteSampleFiles(const TempDirectory& directory, const LanguageSample& sample) {
  WriteFile(directory / "subject.txt", sample.subject);
  WriteFile(directory / "name.txt", sample.senderName);
  WriteFile(directory / "body.txt", sample.body);
  WriteFile(directory / "filename.txt", sample.attachmentName);
  WriteFile(directory / "attachment.bin", std::string("\x00\xFF\r\n.", 5) + sample.language);
}

// True when Python's email reads the message back to the sample's texts (with the attachment
// unless filename.txt is empty); `lineLimit` also checks that no line passes 78 characters.
inline bool PythonReadsTheSample(const TempDirectory& directory, const std::string& messagePath,
                                 bool lineLimit) {
  const std::string program = R"(
import email, sys
from email import policy
path, d, limit = sys.argv[1], sys.argv[2], sys.argv[3] == "1"
text = lambda name: open(d + name, encoding="utf-8", newline="").read()
lines = lambda body: body.replace("\r\n", "\n").rstrip("\n")  # the layout ends with an empty line
raw = open(path, "rb").read()
m = email.message_from_bytes(raw, policy=policy.default)
attachments = list(m.iter_attachments())
checks = [("subject", m["Subject"], text("subject.txt")),
          ("display name", m["From"].addresses[0].display_name, text("name.txt")),
          ("body", lines(m.get_body(("plain",)).get_content()), lines(text("body.txt"))),
          ("attachments", len(attachments), 1 if text("filename.txt") else 0)]
for part in attachments:
    checks += [("filename", part.get_filename(), text("filename.txt")),
               ("name", part["Content-Type"].params.get("name"), text("filename.txt")),
               ("bytes", part.get_payload(decode=True), open(d + "attachment.bin", "rb").read())]
problems = ["%s: %r, expected %r" % check for check in checks if check[1] != check[2]]
problems += ["line of %d characters: %r" % (len(line), line[:90])
             for line in raw.split(b"\r\n") if limit and len(line) > 78]
sys.exit("\n".join(problems) or None)
)";
  return RunPython(directory, program,
                   messagePath + " " + directory.path() + (lineLimit ? " 1" : " 0"));
}

}  // namespace quorvel::testing
