#include "small_stack.h"

#include <pthread.h>

#include <exception>
#include <stdexcept>
#include <string>

namespace vurtest
{
namespace
{
struct Job
{
    const std::function<void()>* body;
    std::exception_ptr failure;
};

void* runJob (void* arg)
{
    auto* job = static_cast<Job*> (arg);
    try
    {
        (*job->body)();
    }
    catch (...)
    {
        job->failure = std::current_exception();
    }
    return nullptr;
}
} // namespace

void runOnStackOf (std::size_t stackBytes, const std::function<void()>& body)
{
    pthread_attr_t attributes;
    if (pthread_attr_init (&attributes) != 0)
        throw std::runtime_error ("pthread_attr_init failed");
    const int sized = pthread_attr_setstacksize (&attributes, stackBytes);
    Job job { &body, nullptr };
    pthread_t thread;
    const int started = sized == 0 ? pthread_create (&thread, &attributes, runJob, &job) : sized;
    pthread_attr_destroy (&attributes);
    if (started != 0)
        throw std::runtime_error ("cannot start a thread with a stack of " + std::to_string (stackBytes) + " bytes");
    pthread_join (thread, nullptr);
    if (job.failure)
        std::rethrow_exception (job.failure);
}
}
