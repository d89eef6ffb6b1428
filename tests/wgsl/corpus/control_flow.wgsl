// if / else if / else, switch, loop with continuing and break if, for, while, break, continue, return.
@group(0) @binding(0) var<storage, read_write> data: array<i32>;

fn classify(x: i32) -> i32 {
    if x < 0 {
        return -1;
    } else if x == 0 {
        return 0;
    } else {
        return 1;
    }
}

fn pick(x: u32) -> u32 {
    var r = 0u;
    switch x {
        case 0u, 1u: {
            r = 10u;
        }
        case 2u: {
            r = 20u;
        }
        case 3u, default: {
            r = 30u;
        }
    }
    switch i32(x) {
        default {
            r += 1u;
        }
    }
    return r;
}

@compute @workgroup_size(8, 1, 1)
fn main(@builtin(global_invocation_id) gid: vec3<u32>) {
    var i = 0;
    loop {
        if i >= 4 {
            break;
        }
        i = i + 1;
        if i == 2 {
            continue;
        }
        data[gid.x] += classify(i);
        continuing {
            let j = i * 2;
            break if j > 100;
        }
    }
    for (var k = 0u; k < 3u; k++) {
        if k == 1u { continue; }
        data[gid.x] += i32(pick(k));
    }
    var w = 10;
    while w > 0 {
        w -= 3;
        if w == 4 { break; }
    }
    for (;;) {
        break;
    }
    data[gid.x] = data[gid.x] + w;
}

var<private> calls: u32;

fn touch(x: u32) -> bool {
    calls += 1u;
    return x > 2u;
}

@compute @workgroup_size(1)
fn short_circuit(@builtin(global_invocation_id) gid: vec3<u32>) {
    let a = gid.x > 1u && touch(gid.x);
    let b = gid.x == 0u || touch(gid.y) && gid.z < 4u;
    if a || b && (gid.y > 0u) {
        data[0] = i32(calls);
    }
}
