// SDL entries of the platform seam.
#include "platform/platform_sdl.h"

#include <SDL.h>

namespace {
uint32_t MessageBoxFlags(MessageIcon icon) {
    switch (icon) {
        case MessageIconError:
            return SDL_MESSAGEBOX_ERROR;
        case MessageIconInformation:
            return SDL_MESSAGEBOX_INFORMATION;
        default:
            return SDL_MESSAGEBOX_WARNING;
    }
}

// Button ids are the answers themselves.
const SDL_MessageBoxButtonData OkButtons[] = {
    {SDL_MESSAGEBOX_BUTTON_RETURNKEY_DEFAULT | SDL_MESSAGEBOX_BUTTON_ESCAPEKEY_DEFAULT,
     MessageAnswerOk, "OK"}};
const SDL_MessageBoxButtonData YesNoButtons[] = {
    {SDL_MESSAGEBOX_BUTTON_RETURNKEY_DEFAULT, MessageAnswerYes, "Yes"},
    {SDL_MESSAGEBOX_BUTTON_ESCAPEKEY_DEFAULT, MessageAnswerNo, "No"}};
}  // namespace

bool SdlQuitPending() {
    SDL_PumpEvents();
    SDL_Event event;
    return SDL_PeepEvents(&event, 1, SDL_PEEKEVENT, SDL_QUIT, SDL_QUIT) > 0;
}

void SdlPumpEvents() {
    SDL_PumpEvents();
}

bool SdlTryMessageBox(const char* text, const char* caption, MessageButtons buttons,
                      MessageIcon icon, MessageAnswer* answer) {
    SDL_MessageBoxData box = {};
    box.flags = MessageBoxFlags(icon) | SDL_MESSAGEBOX_BUTTONS_LEFT_TO_RIGHT;
    box.title = caption;
    box.message = text;
    bool yesNo = buttons == MessageButtonsYesNo;
    box.numbuttons = yesNo ? 2 : 1;
    box.buttons = yesNo ? YesNoButtons : OkButtons;
    int pressed = -1;
    if (SDL_ShowMessageBox(&box, &pressed) != 0) {
        return false;
    }
    if (pressed < 0) {  // closed without a button: the safe answer
        pressed = yesNo ? MessageAnswerNo : MessageAnswerOk;
    }
    *answer = static_cast<MessageAnswer>(pressed);
    return true;
}

MessageAnswer SdlMessageBox(const char* text, const char* caption, MessageButtons buttons,
                            MessageIcon icon) {
    MessageAnswer answer = MessageAnswerOk;
    if (SdlTryMessageBox(text, caption, buttons, icon, &answer)) {
        return answer;
    }
    return StderrMessageBox(text, caption, buttons, icon);  // no display to show it on
}

void UseSdlPlatform() {
    Platform.quitPending = SdlQuitPending;
    Platform.pumpEvents = SdlPumpEvents;
    Platform.messageBox = SdlMessageBox;
}
