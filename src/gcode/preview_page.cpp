#include "gcode/preview_page.h"

#include <cstdint>
#include <string>

namespace Karsto {

namespace {

// The head: style, the matrix type, the shaders and the start of the data. The vertex
// array stays open: the vertex lines follow it directly.
constexpr std::string_view kHead = R"JYXPAGE(<!DOCTYPE html>
<html>
<head>
<meta http-equiv="Content-Type" content="text/html; charset=utf-8">
<title>JYX Interpreter</title>
<style type="text/css">
html, body { margin: 0; padding: 0; width: 100%; height: 100%; overflow: hidden;
	background-color: #FFFFFF; font-family: sans-serif; }
#jyxview { position: absolute; left: 0; top: 0; width: 70%; bottom: 40px; }
#jyxcanvas { display: block; width: 100%; height: 100%; }
#jyxbar { position: absolute; left: 0; bottom: 0; width: 70%; height: 40px;
	box-sizing: border-box; padding: 8px; white-space: nowrap; overflow: hidden; }
#jyxspeed { width: 5em; }
#jyxlogo { position: absolute; right: 0; top: 0; width: 30%; height: 60px; }
.jyxcode { position: absolute; right: 0; top: 60px; bottom: 0; width: 30%; overflow: scroll;
	background-color: #E5E9EC; font-family: monospace; }
.jyxline { font-family: monospace; font-size: 14px; white-space: nowrap; }
.jyxlinehl { font-family: monospace; font-size: 14px; white-space: nowrap;
	background-color: #94A2AC; }
</style>
<script type="text/javascript">
	// 4 x 4 matrices as arrays of 16 numbers, row by row: m[4 * row + column].
	var JyxMatrix = {
		identity: function () {
			return [1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1];
		},
		translation: function (x, y, z) {
			return [1, 0, 0, x, 0, 1, 0, y, 0, 0, 1, z, 0, 0, 0, 1];
		},
		// Right-handed rotation by angle (radians) about the axis (x, y, z).
		rotation: function (angle, x, y, z) {
			var length = Math.sqrt(x * x + y * y + z * z);
			if (length == 0) return JyxMatrix.identity();
			x /= length; y /= length; z /= length;
			var c = Math.cos(angle), s = Math.sin(angle), t = 1 - c;
			return [t * x * x + c, t * x * y - s * z, t * x * z + s * y, 0,
				t * x * y + s * z, t * y * y + c, t * y * z - s * x, 0,
				t * x * z - s * y, t * y * z + s * x, t * z * z + c, 0,
				0, 0, 0, 1];
		},
		frustum: function (left, right, bottom, top, near, far) {
			return [2 * near / (right - left), 0, (right + left) / (right - left), 0,
				0, 2 * near / (top - bottom), (top + bottom) / (top - bottom), 0,
				0, 0, -(far + near) / (far - near), -2 * far * near / (far - near),
				0, 0, -1, 0];
		},
		// fovy: the vertical field of view in degrees.
		perspective: function (fovy, aspect, near, far) {
			var top = near * Math.tan(fovy * Math.PI / 360);
			return JyxMatrix.frustum(-top * aspect, top * aspect, -top, top, near, far);
		},
		product: function (a, b) {
			var r = new Array(16);
			for (var i = 0; i < 4; i++) {
				for (var j = 0; j < 4; j++) {
					var sum = 0;
					for (var k = 0; k < 4; k++) sum += a[4 * i + k] * b[4 * k + j];
					r[4 * i + j] = sum;
				}
			}
			return r;
		},
		flattenRows: function (m) {
			return new Float32Array(m);
		},
		// Column by column, as WebGL takes its matrices.
		flattenColumns: function (m) {
			var r = new Float32Array(16);
			for (var i = 0; i < 4; i++) {
				for (var j = 0; j < 4; j++) r[4 * j + i] = m[4 * i + j];
			}
			return r;
		}
	};

	var jyxVertexShader =
		'attribute vec3 aPosition;\n' +
		'attribute vec4 aColor;\n' +
		'uniform mat4 uModelView;\n' +
		'uniform mat4 uProjection;\n' +
		'varying lowp vec4 vColor;\n' +
		'void main(void) {\n' +
		'	gl_Position = uProjection * uModelView * vec4(aPosition, 1.0);\n' +
		'	vColor = aColor;\n' +
		'}\n';
	var jyxFragmentShader =
		'varying lowp vec4 vColor;\n' +
		'void main(void) {\n' +
		'	gl_FragColor = vColor;\n' +
		'}\n';

	// The tool path: x, y, z per point, and per point the listing line that made it.
	var lineinfo;
	var vertices = [ /* VERTICES_START */
)JYXPAGE";

// From the end of the line-info array to the opening of the listing panel.
constexpr std::string_view kMiddle = R"JYXPAGE(	];

	var jyx = {
		gl: null,
		program: null,
		buffer: null,
		positionLocation: -1,
		colorLocation: -1,
		modelViewLocation: null,
		projectionLocation: null,
		start: 0,
		speed: 100,
		distance: 50,
		rotX: 0,
		rotY: 0,
		panX: 0,
		panY: 0,
		animate: false,
		dragging: false,
		lastX: 0,
		lastY: 0,
		highlighted: null
	};

	function jyxShader(gl, type, text) {
		var shader = gl.createShader(type);
		gl.shaderSource(shader, text);
		gl.compileShader(shader);
		if (!gl.getShaderParameter(shader, gl.COMPILE_STATUS)) return null;
		return shader;
	}

	// Null when the browser offers no WebGL or the shaders do not build.
	function jyxInitGl(canvas) {
		var gl = null;
		try {
			gl = canvas.getContext('webgl') || canvas.getContext('experimental-webgl');
		} catch (e) {
			gl = null;
		}
		if (!gl) {
			alert('Unable to initialize WebGL. Your browser may not support it.');
			return null;
		}
		var vertexShader = jyxShader(gl, gl.VERTEX_SHADER, jyxVertexShader);
		var fragmentShader = jyxShader(gl, gl.FRAGMENT_SHADER, jyxFragmentShader);
		if (!vertexShader || !fragmentShader) return null;
		var program = gl.createProgram();
		gl.attachShader(program, vertexShader);
		gl.attachShader(program, fragmentShader);
		gl.linkProgram(program);
		if (!gl.getProgramParameter(program, gl.LINK_STATUS)) return null;
		gl.useProgram(program);
		jyx.program = program;
		jyx.positionLocation = gl.getAttribLocation(program, 'aPosition');
		jyx.colorLocation = gl.getAttribLocation(program, 'aColor');
		jyx.modelViewLocation = gl.getUniformLocation(program, 'uModelView');
		jyx.projectionLocation = gl.getUniformLocation(program, 'uProjection');
		jyx.buffer = gl.createBuffer();
		gl.bindBuffer(gl.ARRAY_BUFFER, jyx.buffer);
		gl.bufferData(gl.ARRAY_BUFFER, new Float32Array(vertices), gl.STATIC_DRAW);
		gl.enableVertexAttribArray(jyx.positionLocation);
		gl.vertexAttribPointer(jyx.positionLocation, 3, gl.FLOAT, false, 0, 0);
		// Every vertex is drawn black.
		if (jyx.colorLocation >= 0) {
			gl.disableVertexAttribArray(jyx.colorLocation);
			gl.vertexAttrib4f(jyx.colorLocation, 0, 0, 0, 1);
		}
		return gl;
	}

	function jyxVertexCount() {
		return Math.min(Math.floor(vertices.length / 3), lineinfo.length);
	}

	// The path grows at speed vertices per second from the start time.
	function jyxShownCount(now) {
		var cnt = Math.floor((now - jyx.start) / 1000 * jyx.speed) + 1;
		var count = jyxVertexCount();
		if (!(cnt > 0)) return 0;
		return cnt > count ? count : cnt;
	}

	// The listing line of the last vertex drawn gets the highlight; a line index that
	// names no line (-2: no source) highlights nothing.
	function jyxHighlight(cnt) {
		var element = null;
		if (cnt > 0) element = document.getElementById('jyxline_' + lineinfo[cnt - 1]);
		if (element === jyx.highlighted) return;
		if (jyx.highlighted) jyx.highlighted.className = 'jyxline';
		if (element) element.className = 'jyxlinehl';
		jyx.highlighted = element;
	}

	function jyxRender(cnt) {
		var gl = jyx.gl;
		var canvas = document.getElementById('jyxcanvas');
		var width = canvas.clientWidth, height = canvas.clientHeight;
		if (canvas.width != width || canvas.height != height) {
			canvas.width = width;
			canvas.height = height;
		}
		gl.viewport(0, 0, width, height);
		gl.clearColor(1, 1, 1, 1);
		gl.clear(gl.COLOR_BUFFER_BIT | gl.DEPTH_BUFFER_BIT);
		if (cnt < 1 || width < 1 || height < 1) return;
		var projection = JyxMatrix.perspective(45, width / height, 0.001, 10000);
		var modelView = JyxMatrix.product(JyxMatrix.translation(jyx.panX, jyx.panY, -jyx.distance),
			JyxMatrix.product(JyxMatrix.rotation(jyx.rotY, 0, 1, 0),
				JyxMatrix.rotation(jyx.rotX, 1, 0, 0)));
		gl.uniformMatrix4fv(jyx.projectionLocation, false, JyxMatrix.flattenColumns(projection));
		gl.uniformMatrix4fv(jyx.modelViewLocation, false, JyxMatrix.flattenColumns(modelView));
		gl.drawArrays(gl.LINE_STRIP, 0, cnt);
	}

	function jyxDraw() {
		if (jyx.animate) jyx.rotY += 0.005;
		var cnt = jyxShownCount(Date.now());
		jyxHighlight(cnt);
		if (jyx.gl) jyxRender(cnt);
	}

	function jyxRestart() {
		jyx.start = Date.now();
	}

	function jyxSpeedChanged() {
		var speed = parseFloat(document.getElementById('jyxspeed').value);
		jyx.speed = isFinite(speed) && speed > 0 ? speed : 0;
		jyxRestart();
	}

	function jyxView(rotX, rotY) {
		jyx.rotX = rotX;
		jyx.rotY = rotY;
	}

	function jyxCenter() {
		jyx.panX = 0;
		jyx.panY = 0;
	}

	function jyxToggleAnimate() {
		jyx.animate = !jyx.animate;
	}

	function jyxStart() {
		var canvas = document.getElementById('jyxcanvas');
		canvas.onmousedown = function (event) {
			jyx.dragging = true;
			jyx.lastX = event.clientX;
			jyx.lastY = event.clientY;
		};
		document.onmouseup = function () {
			jyx.dragging = false;
		};
		document.onmousemove = function (event) {
			if (!jyx.dragging) return;
			jyx.rotY += (event.clientX - jyx.lastX) / 100;
			jyx.rotX += (event.clientY - jyx.lastY) / 100;
			jyx.lastX = event.clientX;
			jyx.lastY = event.clientY;
		};
		canvas.addEventListener('wheel', function (event) {
			event.preventDefault();
			if (event.deltaY > 0) jyx.distance *= 1.2;
			else if (event.deltaY < 0) jyx.distance = Math.max(jyx.distance / 1.2, 0.01);
		}, { passive: false });
		document.onkeydown = function (event) {
			if (event.target && event.target.tagName == 'INPUT') return;
			var step = jyx.distance * 0.05;
			switch (event.key) {
			case 'ArrowLeft': jyx.panX -= step; break;
			case 'ArrowRight': jyx.panX += step; break;
			case 'ArrowUp': jyx.panY += step; break;
			case 'ArrowDown': jyx.panY -= step; break;
			default: return;
			}
			event.preventDefault();
		};
		jyx.gl = jyxInitGl(canvas);
		jyxRestart();
		// A resized window is drawn at once, not stretched until the next frame.
		window.onresize = jyxDraw;
		setInterval(jyxDraw, 15);
	}

	window.onload = jyxStart;
</script>
</head>
<body>
<div id='jyxview'><canvas id='jyxcanvas'></canvas></div>
<div id='jyxbar'>speed <input type='text' id='jyxspeed' value='100' onchange='jyxSpeedChanged()'>
<button type='button' onclick='jyxRestart()'>restart</button>
<button type='button' onclick='jyxView(0, 0)'>xy</button>
<button type='button' onclick='jyxView(-Math.PI / 2, -Math.PI / 2)'>yz</button>
<button type='button' onclick='jyxView(-Math.PI / 2, 0)'>zx</button>
<button type='button' onclick='jyxCenter()'>center</button>
<button type='button' onclick='jyxToggleAnimate()'>animate</button>
</div>
<div id='jyxlogo'></div>
<div class='jyxcode' id='jyxcode'>
)JYXPAGE";

constexpr std::string_view kLineOpen = "<div class='jyxline' id='jyxline_";

bool isPlainCharacter(unsigned char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
}

} // namespace

std::string_view previewPageHead() { return kHead; }

std::string_view previewPageMiddle() { return kMiddle; }

void writeListing(std::ostream& out, std::string_view text) {
    std::string chunk;
    chunk.reserve(8192);
    uint64_t line = 0;
    chunk += kLineOpen;
    chunk += "0'>";
    for (char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (isPlainCharacter(byte)) {
            chunk += c;
        } else if (c == ' ') {
            chunk += "&nbsp;";
        } else if (c == '\t') {
            chunk += "&nbsp;&nbsp;&nbsp;&nbsp;";
        } else if (c == '\r') {
            // dropped: the page shows lines, not line-end bytes
        } else if (c == '\n') {
            chunk += "&nbsp;</div>\n";
            chunk += kLineOpen;
            chunk += std::to_string(++line);
            chunk += "'>";
        } else {
            chunk += "&#";
            chunk += std::to_string(unsigned{byte});
            chunk += ';';
        }
        // Written in pieces: a large source never needs its whole rendering in memory.
        if (chunk.size() >= 4096) {
            out.write(chunk.data(), static_cast<std::streamsize>(chunk.size()));
            chunk.clear();
        }
    }
    chunk += "</div>";
    out.write(chunk.data(), static_cast<std::streamsize>(chunk.size()));
}

} // namespace Karsto
