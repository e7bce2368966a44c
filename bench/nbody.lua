local x, y, z, vx, vy, vz, m = {}, {}, {}, {}, {}, {}, {}
local pi = 3.141592653589793
local days = 365.24
local solar = 4 * pi * pi
local dt = 0.01
x[0], y[0], z[0], vx[0], vy[0], vz[0], m[0] = 0, 0, 0, 0, 0, 0, 1
x[1] = 4.84143144246472090; y[1] = -1.16032004402742839; z[1] = -0.103622044471123109
vx[1] = 0.00166007664274403694; vy[1] = 0.00769901118419740425; vz[1] = -0.0000690460016972063023
m[1] = 0.000954791938424326609
x[2] = 8.34336671824457987; y[2] = 4.12479856412430479; z[2] = -0.403523417114321381
vx[2] = -0.00276742510726862411; vy[2] = 0.00499852801234917238; vz[2] = 0.0000230417297573763929
m[2] = 0.000285885980666130812
x[3] = 12.8943695621391310; y[3] = -15.1111514016986312; z[3] = -0.223307578892655734
vx[3] = 0.00296460137564761618; vy[3] = 0.00237847173959480950; vz[3] = -0.0000296589568540237556
m[3] = 0.0000436624404335156298
x[4] = 15.3796971148509165; y[4] = -25.9193146099879641; z[4] = 0.179258772950371181
vx[4] = 0.00268067772490389322; vy[4] = 0.00162824170038242295; vz[4] = -0.0000951592254519715870
m[4] = 0.0000515138902046611451
for i = 0, 4 do vx[i] = vx[i] * days; vy[i] = vy[i] * days; vz[i] = vz[i] * days; m[i] = m[i] * solar end
local px, py, pz = 0, 0, 0
for i = 0, 4 do px = px + vx[i] * m[i]; py = py + vy[i] * m[i]; pz = pz + vz[i] * m[i] end
vx[0], vy[0], vz[0] = -px / solar, -py / solar, -pz / solar

local function energy()
  local e = 0
  for i = 0, 4 do e = e + 0.5 * m[i] * (vx[i] * vx[i] + vy[i] * vy[i] + vz[i] * vz[i]) end
  for i = 0, 3 do
    for j = i + 1, 4 do
      local dx, dy, dz = x[i] - x[j], y[i] - y[j], z[i] - z[j]
      e = e - m[i] * m[j] / math.sqrt(dx * dx + dy * dy + dz * dz)
    end
  end
  print(string.format("%.6e", e))
end

energy()
for step = 1, 20000 do
  for i = 0, 3 do
    for j = i + 1, 4 do
      local dx, dy, dz = x[i] - x[j], y[i] - y[j], z[i] - z[j]
      local d2 = dx * dx + dy * dy + dz * dz
      local mag = dt / (d2 * math.sqrt(d2))
      vx[i] = vx[i] - dx * m[j] * mag; vy[i] = vy[i] - dy * m[j] * mag; vz[i] = vz[i] - dz * m[j] * mag
      vx[j] = vx[j] + dx * m[i] * mag; vy[j] = vy[j] + dy * m[i] * mag; vz[j] = vz[j] + dz * m[i] * mag
    end
  end
  for i = 0, 4 do x[i] = x[i] + dt * vx[i]; y[i] = y[i] + dt * vy[i]; z[i] = z[i] + dt * vz[i] end
end
energy()
