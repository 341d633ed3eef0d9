#include "VeltraneCore/Models/ProjectError.hpp"

namespace veltrane {

namespace {

std::string asSentence(std::string text)
{
    if (!text.empty() && text.back() != '.') text.push_back('.');
    return text;
}

} // namespace

ProjectError ProjectError::unreadable(std::string detail, std::string codingPath)
{
    std::string message = "This file is not a readable Veltrane project. ";
    if (!codingPath.empty()) message += "At " + codingPath + ": ";
    message += asSentence(detail);
    return ProjectError(Case::unreadable, message, 0, std::move(detail), std::move(codingPath));
}

ProjectError ProjectError::unencodableValue(std::string codingPath, std::string detail)
{
    const std::string message = "This project cannot be saved because the value at " + codingPath +
                                " is not a finite number (" + detail + ").";
    return ProjectError(Case::unencodableValue, message, 0, std::move(detail), std::move(codingPath));
}

ProjectError ProjectError::tooLarge(std::string detail)
{
    const std::string message = "This project cannot be saved because " + asSentence(detail);
    return ProjectError(Case::tooLarge, message, 0, std::move(detail), {});
}

} // namespace veltrane
