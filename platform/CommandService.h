#pragma once

class CommandHandler;

// Offers a handler's commands and state to the other processes of the session, for as long as
// this copy runs. Nothing in it waits on another process.
class CommandService
{
public:
    virtual ~CommandService() = default;
    virtual void offer(CommandHandler &handler) = 0;
};
