#include "Text.h"

#include <charconv>

namespace phonesim {

Words splitWords(const std::string &text)
{
    Words words;
    std::size_t start = 0;
    while (start < text.size()) {
        const std::size_t end = text.find(' ', start);
        const std::size_t stop = end == std::string::npos ? text.size() : end;
        if (stop > start)
            words.push_back(text.substr(start, stop - start));
        start = stop + 1;
    }
    return words;
}

std::string join(const Words &words, std::size_t from)
{
    std::string text;
    for (std::size_t index = from; index < words.size(); ++index) {
        if (index > from)
            text += ' ';
        text += words[index];
    }
    return text;
}

bool startsWith(const std::string &text, const std::string &prefix)
{
    return text.compare(0, prefix.size(), prefix) == 0;
}

std::optional<int> parseInt(const std::string &text)
{
    int value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size() || text.empty())
        return std::nullopt;
    return value;
}

std::string padRight(std::string text, std::size_t width)
{
    if (text.size() < width)
        text.append(width - text.size(), ' ');
    return text;
}

} // namespace phonesim
