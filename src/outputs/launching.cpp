#include "outputs/launching.h"

#include <QProcess>
#include <QStringList>

#include <filesystem>

namespace {

bool isBlank(char c) {
    return c == ' ' || c == '\t' || c == '\n';
}

// The program path without the double quotes of a program given already quoted.
std::string unquoted(const std::string& program) {
    const std::vector<std::string> words = splitCommandLine(program);
    return program.starts_with('"') && !words.empty() ? words.front() : program;
}

QStringList toQt(const std::vector<std::string>& words) {
    QStringList list;
    for (const std::string& word : words)
        list.append(QString::fromStdString(word));
    return list;
}

}  // namespace

std::string launchCommandLine(const std::string& program, const std::string& argument) {
    std::string line = program.starts_with('"') ? program : '"' + program + '"';
    if (!argument.empty())
        line += ' ' + argument;
    return line;
}

std::vector<std::string> splitCommandLine(const std::string& line) {
    std::vector<std::string> words;
    std::string word;
    bool inWord = false;
    for (std::size_t i = 0; i < line.size(); ++i) {
        const char c = line[i];
        if (isBlank(c)) {
            if (inWord)
                words.push_back(std::move(word));
            word.clear();
            inWord = false;
            continue;
        }
        inWord = true;
        if (c == '\'') {
            const std::size_t end = line.find('\'', i + 1);
            const std::size_t stop = end == std::string::npos ? line.size() : end;
            word.append(line, i + 1, stop - i - 1);
            i = stop;
        } else if (c == '"') {
            for (++i; i < line.size() && line[i] != '"'; ++i) {
                if (line[i] == '\\' && i + 1 < line.size() &&
                    std::string_view("\\\"$`").find(line[i + 1]) != std::string_view::npos) {
                    ++i;
                }
                word += line[i];
            }
        } else if (c == '\\' && i + 1 < line.size()) {
            word += line[++i];
        } else {
            word += c;
        }
    }
    if (inWord)
        words.push_back(std::move(word));
    return words;
}

std::string openerWorkingFolder(const std::string& programPath, const std::string& workingFolder) {
    if (!workingFolder.empty())
        return workingFolder;
    const std::size_t slash = programPath.rfind('/');
    if (slash == std::string::npos || slash == 0)
        return {};
    return programPath.substr(0, slash + 1);
}

bool launchProgram(const std::string& program, const std::string& argument,
                   const std::string& workingFolder) {
    const std::vector<std::string> words = splitCommandLine(launchCommandLine(program, argument));
    if (!words.empty() && !words.front().empty()) {
        QStringList arguments = toQt(words);
        const QString executable = arguments.takeFirst();
        // Started through a second child that ends at once, so nothing is left to reap.
        if (QProcess::startDetached(executable, arguments, QString::fromStdString(workingFolder)))
            return true;
    }
    const std::string path = unquoted(program);
    std::error_code error;
    if (path.empty() || !std::filesystem::exists(path, error))
        return false;
    // The opener takes one file; the argument has no place on its command line.
    return QProcess::startDetached(
        QStringLiteral("xdg-open"), {QString::fromStdString(path)},
        QString::fromStdString(openerWorkingFolder(path, workingFolder)));
}
