#error "The core does not use libcurl; fetch through platform::HttpFetch."
