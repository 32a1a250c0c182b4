#error "The core does not use libmpv; play through platform::PlayerControl."
