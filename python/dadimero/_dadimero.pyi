"""Background subtraction for RGB-D video (DADI-MERO): type hints of the compiled module."""

from typing import Iterable, Optional, Union

import numpy as np
import numpy.typing as npt

Bytes = npt.NDArray[np.uint8]
Depth = Union[npt.NDArray[np.uint8], npt.NDArray[np.uint16]]
Integer = Union[int, np.integer]
Real = Union[float, int, np.floating, np.integer]

def initial_depth_background(
    depth_frames: Union[Iterable[Depth], Depth], roi: Optional[Bytes] = None
) -> Depth:
    """Per pixel inside roi the largest value of the depth frames (all uint8 or all
    uint16, H x W), 0 outside; an array of the frames' dtype."""

class Subtractor:
    """Background subtraction frame by frame; help(dadimero.Subtractor) has the details."""

    def __init__(
        self,
        colour_background: Bytes,
        depth_background: Optional[Depth] = None,
        roi: Optional[Bytes] = None,
        *,
        n: Integer = ...,
        K: Integer = ...,
        e1: Real = ...,
        e2: Real = ...,
        e1D: Real = ...,
        e2D: Real = ...,
        c1: Real = ...,
        c2: Real = ...,
        Cw: Integer = ...,
        shadowRemoval: Union[bool, np.bool_] = ...,
        gamma: Real = ...,
        beta: Real = ...,
        tauS: Real = ...,
        tauH: Real = ...,
        threads: Integer = ...,
    ) -> None:
        """colour_background: uint8 H x W x 3 BGR; depth_background: None or uint8/uint16
        H x W; roi: None or uint8 H x W, nonzero inside. The settings default to the
        DADI-MERO program's."""
    def apply(
        self, colour: Bytes, depth: Optional[Depth] = None, learning_rate: Real = -1.0
    ) -> Optional[Bytes]:
        """The final mask (uint8 H x W, 0/255) of this frame, or None while calibrating."""
    @property
    def calibrating(self) -> bool:
        """True while the next apply() calibrates (returns None)."""
    @property
    def uses_depth(self) -> bool:
        """True for a subtractor built with a depth background."""
    def background_image(self) -> Bytes:
        """The colour model's centre weights: uint8 H x W x 3 BGR."""
    def colour_mask(self) -> Optional[Bytes]:
        """The last online frame's colour mask (uint8 H x W), or None."""
    def depth_mask(self) -> Optional[Bytes]:
        """The last online frame's depth mask (uint8 H x W), or None."""
    def colour_model_image(self) -> Bytes:
        """The colour model, one pixel per weight: uint8 (H*n) x (W*n) x 3 BGR."""
    def depth_model_image(self) -> Optional[Depth]:
        """The depth model, one pixel per weight, of the depth background's dtype, or None."""
    def set_depth_background(self, depth_background: Depth) -> None:
        """Starts the depth model afresh from a new depth background."""
