#pragma once

/** One of ALSA's info records (snd_*_info_t, snd_*_status_t, ...), allocated
    with its _malloc function and freed with the matching _free function.
    info stays null when the allocation failed. */
template <typename Info, void (*freeInfo) (Info*)>
struct AlsaInfo
{
    Info* info = nullptr;

    explicit AlsaInfo (int (*mallocInfo) (Info**))
    {
        if (mallocInfo (&info) < 0)
            info = nullptr;
    }

    ~AlsaInfo()
    {
        if (info != nullptr)
            freeInfo (info);
    }

    AlsaInfo (const AlsaInfo&) = delete;
    AlsaInfo& operator= (const AlsaInfo&) = delete;
};
