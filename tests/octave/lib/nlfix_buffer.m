function varargout = nlfix_buffer(S, varargin)
% Force function of the tests: writes the spring force of nlfix_snl into the
% buffer that S.snl shares (buffer_fixture) and returns nothing, so that the
% module reads the force back from that buffer.
  buffer_fixture('set', S.k .* reshape(S.unl(1:numel(S.k)), [], 1));
  varargout = {};
end
